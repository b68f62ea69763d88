#!/usr/bin/env bash
# Sets up, builds, runs and tests bastilo on Debian 12, 13 and unstable.
#   ./dev.sh run       build the program and open its window
#   ./dev.sh install   build the package without its tests and install it: bastilo in the menu
#   ./dev.sh test      build the package with its tests, run every check, and sum them up
#   ./dev.sh package   build the Debian package into build/package
# Each verb first installs what it needs when it is missing (through sudo if not
# root): what debian/control names, and for test the tools that check the result.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)} CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}
PASSED=0 FAILED=()

say() { printf '\n==> %s\n' "$*"; }
die() { printf 'dev.sh: %s\n' "$*" >&2; exit 1; }

# root_or_die WHAT COMMAND: stops at once, naming COMMAND to run as root, unless this is root or may use sudo (it may ask).
root_or_die() {
    [[ $(id -u) == 0 ]] || { command -v sudo >/dev/null && sudo -v; } ||
        die "$1 needs root, and $(id -un) cannot use sudo here: as root, run $2; or install sudo and add $(id -un) to the group sudo"
}

# apt_get ARG...: apt-get as root, through sudo for anyone else, with the package lists read once.
apt_get() {
    local sudo=() && [[ $(id -u) == 0 ]] || sudo=(sudo --)
    root_or_die "installing packages" "apt-get $*"
    [[ -n ${APT_UPDATED:-} ]] || "${sudo[@]}" apt-get update -qq || die "apt-get update failed: check the network and apt's sources"
    APT_UPDATED=1
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq --no-install-recommends "$@" || die "apt-get $* failed"
}

# install_build_deps [PROFILES]: what debian/control needs under those profiles.
install_build_deps() {
    command -v dpkg-checkbuilddeps >/dev/null && dpkg-checkbuilddeps ${1:+-P"$1"} 2>/dev/null && return
    say "Installing the build dependencies in debian/control${1:+ (build profiles: $1)}"
    apt_get build-dep ${1:+--build-profiles="$1"} ./
}

install_missing() {
    local statuses && statuses=$(dpkg-query -W -f='${Status} ${Package}\n' "$@" 2>&1) || true # it fails on unknown packages
    grep -v ' ok installed ' <<<"$statuses" || return 0
    say "Installing $*" && apt_get install "$@"
}

# copy_tree DIR: this tree, without git's files and the builds, as new files (the package dates them all to the release).
# build_package DIR [DPKG_BUILDPACKAGE_OPTION...]: a copy of this tree built in DIR as a buildd builds it; the .debs in DIR.
copy_tree() { mkdir -p "$1" && tar -c --exclude-vcs --exclude=./build . | tar -x --touch -C "$1"; }
build_package() {
    rm -rf "$1" && copy_tree "$1/bastilo"
    (cd "$1/bastilo" && dpkg-buildpackage -us -uc -b -J"$(nproc)" "${@:2}")
    say "Built:" && (cd "$1" && ls -1 "$PWD"/*.deb)
}

cmd_run() {
    [[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]] || die "no display to open the window on: set DISPLAY or WAYLAND_DISPLAY"
    install_build_deps nocheck
    # Qt needs some font for the window's texts, and a plugin for Wayland.
    install_missing fonts-dejavu-core ${WAYLAND_DISPLAY:+qtwayland5}
    cmake --workflow --preset app
    # Qt 5 picks X11 unless told otherwise; with no X display it would abort.
    [[ -n ${DISPLAY:-}${QT_QPA_PLATFORM:-} ]] || export QT_QPA_PLATFORM=wayland
    say "Starting build/app/bastilo" && exec build/app/bastilo
}

# The package without its tests, in a temporary folder, installed again also where a rebuild kept its version, with
# the font it recommends and, with no X server, the Wayland plugin it suggests.
cmd_install() {
    root_or_die "installing the package" "./dev.sh install in $PWD"
    install_build_deps nocheck
    dir=$(mktemp -d) && trap 'rm -rf "$dir"' EXIT && chmod 755 "$dir" # global for the trap; apt reads as _apt
    DEB_BUILD_OPTIONS="nocheck noautodbgsym" build_package "$dir/package" -Pnocheck
    local wayland=() && [[ -n ${DISPLAY:-} || -z ${WAYLAND_DISPLAY:-} ]] || wayland=(qtwayland5)
    apt_get install --reinstall "$dir"/package/bastilo_*.deb fonts-dejavu-core "${wayland[@]}"
    say "bastilo is installed: in the desktop's menu, and as the command bastilo. sudo apt remove bastilo removes it."
    ((${#wayland[@]} == 0)) || say "With no X server, it needs QT_QPA_PLATFORM=wayland in the session's environment (README.md)."
}

check_qt6_package() {
    build_package build/package-qt6 -Ppkg.bastilo.qt6
    set -- "$(dpkg-deb -f build/package-qt6/bastilo_*.deb Depends)" && printf 'Depends: %s\n' "$1"
    [[ $1 == *libqt6widgets6* && $1 != *libqt5* ]] || die "the Qt 6 package must depend on Qt 6 Widgets and on no Qt 5 library"
}

# Two clones of this commit at different paths build identical packages; with a clean tree, build/package is one.
check_reproducible() {
    local clone clones=(at-a-longer-path-the-second) first=build/package && rm -rf build/reproducible
    [[ -z $(git status --porcelain --untracked-files=no) ]] || { clones+=(first) && first=build/reproducible/first/build/package; }
    for clone in "${clones[@]}"; do
        git clone -q --no-hardlinks . "build/reproducible/$clone"
        (cd "build/reproducible/$clone" && DEB_BUILD_OPTIONS=nocheck build_package build/package -Pnocheck)
    done
    (cd "$first" && sha256sum ./*.deb) | (cd "build/reproducible/${clones[0]}/build/package" && sha256sum -c)
}

# in_testbed ROOT COMMAND...: COMMAND in namespaces of its own with none of this script's settings, and a new copy in ROOT
# (removed after) of a minimal root of this release, made once from this machine's apt sources (maybe past Valid-Until).
# shellcheck disable=SC2016 # the single quotes are for apt
in_testbed() {
    local sources propagation=private status=0
    mapfile -t sources < <(apt-get indextargets --format 'deb $(REPO_URI) $(CODENAME) $(COMPONENT)' 'Created-By: Packages' | sort -u)
    [[ -s build/testbed.tar ]] || mmdebstrap --variant=apt --aptopt='Acquire::Check-Valid-Until "false"' \
        "$(printf '%s\n' "${sources[@]}" | awk '$3 !~ /-/ { print $3; exit }')" build/testbed.tar "${sources[@]}"
    rm -rf --one-file-system "$1" && mkdir -p "$1" && tar -xf build/testbed.tar -C "$1"
    # A chroot's / is no mount point to make private (its /proc then stays in its namespace). stderr into a pipe,
    # as autopkgtest -U's tee reopens it.
    unshare --mount true 2>/dev/null || propagation=unchanged
    env -i PATH="$PATH" unshare --mount --propagation "$propagation" --pid --fork --kill-child --mount-proc="$1/proc" \
        "${@:2}" 2>&1 | cat || status=$?
    rm -rf --one-file-system "$1" && return "$status"
}

# The package's autopkgtests, run by autopkgtest in a throwaway root with a copy of this tree.
check_as_installed() {
    set -- "$PWD/build/testbed" && rm -rf "$1" && copy_tree "$1/source"
    in_testbed "$1/root" autopkgtest -U build/package/bastilo_*.deb "$1/source" -- chroot "$1/root"
}

# LeakSanitizer needs ptrace, which qemu's user emulation lacks: where it hangs, no leak checks.
check_sanitizers() {
    local preset=sanitize
    g++ -fsanitize=address -x c++ -o build/leak - <<<'int main() { new int; }'
    timeout 60 build/leak 2>/dev/null || (($? != 124)) || preset=sanitize-without-leaks
    cmake --workflow --preset "$preset"
}

# check NAME COMMAND...: COMMAND with errexit; a failure is counted, and the next check runs.
check() {
    say "Check: $1"
    set +e; (set -e; "${@:2}"); local status=$?; set -e
    if ((status == 0)); then PASSED=$((PASSED + 1)); else FAILED+=("$1"); fi
}

cmd_test() {
    [[ $(id -u) == 0 ]] || die "the checks need root (they build packages and a throwaway root to install one in): run sudo ./dev.sh test"
    # Run through sudo, build/ stays the caller's: run, package and the presets work for them afterwards.
    [[ -z ${SUDO_UID:-} ]] || trap 'mkdir -p build && chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" build' EXIT
    install_build_deps && install_build_deps pkg.bastilo.qt6
    # Debian 13 gives Qt 5 programs Plasma's look through two packages that Debian 12 and unstable do not have.
    set -- plasma5-integration kde-style-breeze-qt5 && if apt-get -qq -s install "$@" &>/dev/null; then install_missing "$@"; fi
    install_missing lintian git ccache autopkgtest mmdebstrap
    # Each package is built from a new copy; ccache (in build/ccache) saves compiling the same again.
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=${CCACHE_DIR:-$PWD/build/ccache}
    check "package, with its tests" build_package build/package
    check "Qt 6 package, with its tests" check_qt6_package
    check "sanitizers" check_sanitizers
    check "lintian" lintian --pedantic --display-info --fail-on error,warning build/package/*.changes
    check "debug symbols" ls -l build/package/bastilo-dbgsym_*.deb
    check "reproducible" check_reproducible
    check "as installed" check_as_installed
    check "./dev.sh install, as a player runs it" in_testbed "$PWD/build/player" tests/dev-install.sh "$PWD/build/player"
    ((${#FAILED[@]} == 0)) || printf '\nFailed: %s\n' "$(IFS=,; echo "${FAILED[*]}")"
    printf '\n%d passed, %d failed\n' "$PASSED" "${#FAILED[@]}"
    ((${#FAILED[@]} == 0))
}

case ${1:-} in
run | install | test) "cmd_$1" ;;
package) install_build_deps && build_package build/package ;;
*) sed -n '2,8s/^# \{0,1\}//p' "$0" >&2 && exit 2 ;;
esac
