#!/usr/bin/env bash
# Sets up, builds, runs and tests bastilo on Debian 12, 13 and unstable.
#
#   ./dev.sh run       build the program and open its window
#   ./dev.sh test      build the package with its tests, run every check, and sum them up
#   ./dev.sh package   build the Debian package into build/package
# Each verb first installs what it needs when it is missing (as root): what
# debian/control names, and for test the tools that check the result.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"
: "${CMAKE_BUILD_PARALLEL_LEVEL:=$(nproc)}" "${CTEST_PARALLEL_LEVEL:=$(nproc)}"
export CMAKE_BUILD_PARALLEL_LEVEL CTEST_PARALLEL_LEVEL
readonly UNPACKED=build/package/unpacked
PASSED=0 FAILED=()

say() { printf '\n==> %s\n' "$*"; }
die() { printf 'dev.sh: %s\n' "$*" >&2; exit 1; }

# apt_get ARG...: apt-get as root, with the package lists read once.
apt_get() {
    [[ $(id -u) == 0 ]] || die "installing packages needs root; run this as root, or run: apt-get $*"
    [[ -n ${APT_UPDATED:-} ]] || apt-get update -qq || die "apt-get update failed: check the network and apt's sources"
    APT_UPDATED=1
    DEBIAN_FRONTEND=noninteractive apt-get -y -qq --no-install-recommends "$@" || die "apt-get $* failed"
}

# install_build_deps [PROFILES]: what debian/control needs under those profiles.
install_build_deps() {
    command -v dpkg-checkbuilddeps >/dev/null && dpkg-checkbuilddeps ${1:+-P"$1"} 2>/dev/null && return
    say "Installing the build dependencies in debian/control${1:+ (build profiles: $1)}"
    apt_get build-dep ${1:+--build-profiles="$1"} ./
}

install_missing() {
    local statuses
    statuses=$(dpkg-query -W -f='${Status} ${Package}\n' "$@" 2>&1) || true # it fails on unknown packages
    grep -v ' ok installed ' <<<"$statuses" || return 0
    say "Installing $*" && apt_get install "$@"
}

# build_package DIR [DPKG_BUILDPACKAGE_OPTION...]: the package, built from a
# copy of this tree in DIR as a buildd builds it; the .deb files land in DIR.
# The copy's files are new, so the package dates them all to the release.
build_package() {
    rm -rf "$1" && mkdir -p "$1/bastilo"
    tar -c --exclude-vcs --exclude=./build . | tar -x --touch -C "$1/bastilo"
    (cd "$1/bastilo" && dpkg-buildpackage -us -uc -b -J"$(nproc)" "${@:2}")
    say "Built:" && ls -1 "$PWD/$1"/*.deb
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

check_qt6_package() {
    build_package build/package-qt6 -Ppkg.bastilo.qt6
    local depends
    depends=$(dpkg-deb -f build/package-qt6/bastilo_*.deb Depends) && printf 'Depends: %s\n' "$depends"
    [[ $depends == *libqt6widgets6* && $depends != *libqt5* ]] ||
        die "the Qt 6 package must depend on Qt 6 Widgets and on no Qt 5 library"
}

check_hardening() {
    local options=() report status=0
    # Debian 13's hardening-check asks for ARM's branch protection on every architecture.
    [[ $(dpkg --print-architecture) == arm64 || $(hardening-check --help 2>&1) != *--nobranchprotection* ]] ||
        options+=(--nobranchprotection)
    report=$(hardening-check "${options[@]}" "$UNPACKED"/usr/bin/bastilo) || status=$?
    printf '%s\n' "$report"
    ((status == 0)) && ! grep ': no' <<<"$report" | grep -v '(ignored)$'
}

check_man_page() {
    local warnings
    warnings=$(man --warnings -E UTF-8 -l "$UNPACKED"/usr/share/man/man1/bastilo.1.gz 2>&1 >/dev/null)
    printf '%s\n' "$warnings" && [[ -z $warnings ]]
}

# Its other files in place, its dependencies installable here, its window opened and closed.
check_packaged_program() {
    ls -l build/package/bastilo-dbgsym_*.deb "$UNPACKED"/usr/share/icons/hicolor/scalable/apps/org.bastilo.Bastilo.svg
    apt-get install --simulate --no-install-recommends ./build/package/bastilo_*.deb
    BASTILO_EXE=$PWD/$UNPACKED/usr/bin/bastilo \
        ctest --test-dir build/package/bastilo/obj-* --output-on-failure -R '^tst_launch$'
}

# Two packages of the same commit, built from clones at different paths, are
# identical. With a clean work tree the package built above is one of them.
check_reproducible() {
    local clone clones=(at-a-longer-path-the-second) first=build/package
    [[ -z $(git status --porcelain --untracked-files=no) ]] ||
        { clones+=(first) && first=build/reproducible/first/build/package; }
    rm -rf build/reproducible
    for clone in "${clones[@]}"; do
        git clone -q --no-hardlinks . "build/reproducible/$clone"
        (cd "build/reproducible/$clone" && DEB_BUILD_OPTIONS=nocheck build_package build/package -Pnocheck)
    done
    (cd "$first" && sha256sum ./*.deb) | (cd "build/reproducible/${clones[0]}/build/package" && sha256sum -c)
}

# LeakSanitizer stops threads with ptrace, which qemu's user emulation lacks:
# there it hangs on a planted leak, and the suite runs without leak checks.
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
    install_build_deps && install_build_deps pkg.bastilo.qt6
    install_missing lintian devscripts desktop-file-utils appstream man-db git ccache # what checks the result
    # Each package is built from a new copy; ccache (in build/ccache) saves compiling the same again.
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=${CCACHE_DIR:-$PWD/build/ccache}
    check "package, with its tests" build_package build/package
    dpkg-deb -x build/package/bastilo_*.deb "$UNPACKED" || true
    check "Qt 6 package, with its tests" check_qt6_package
    check "sanitizers" check_sanitizers
    check "lintian" lintian --pedantic --display-info --fail-on error,warning build/package/*.changes
    check "hardening" check_hardening
    check "desktop entry" desktop-file-validate "$UNPACKED"/usr/share/applications/bastilo.desktop
    check "AppStream metadata" appstreamcli validate --pedantic --no-net "$UNPACKED"/usr/share/metainfo/*.xml
    check "manual page" check_man_page
    check "packaged program" check_packaged_program
    check "reproducible" check_reproducible
    ((${#FAILED[@]} == 0)) || printf '\nFailed: %s\n' "$(IFS=,; echo "${FAILED[*]}")"
    printf '\n%d passed, %d failed\n' "$PASSED" "${#FAILED[@]}"
    ((${#FAILED[@]} == 0))
}

case ${1:-} in
run) cmd_run ;;
test) cmd_test ;;
package) install_build_deps && build_package build/package ;;
*) sed -n '2,8s/^# \{0,1\}//p' "$0" >&2 && exit 2 ;;
esac
