#!/usr/bin/env bash
# Sets up, builds, runs and tests bastilo on Debian 12 and Debian 13.
#
#   ./dev.sh run       build the program and open its window
#   ./dev.sh test      build everything, run every check, and sum them up
#   ./dev.sh package   build the Debian package into build/release
#
# Each verb first installs the Debian packages it needs when they are missing
# (that step needs root), then configures and builds with CMake.
set -euo pipefail

cd "$(dirname "$(readlink -f "$0")")"
readonly SOURCE_DIR=$PWD
readonly JOBS=$(nproc 2>/dev/null || echo 2)
readonly LOG_DIR=$SOURCE_DIR/build/logs

say() { printf '\n==> %s\n' "$*"; }
die() { printf 'dev.sh: %s\n' "$*" >&2; exit 1; }

# What the program needs to build and show its window.
readonly APP_PACKAGES=(g++ make cmake qtbase5-dev fonts-dejavu-core)
# What building the Debian package needs on top: Debian's build flags and
# dpkg-shlibdeps (dpkg-dev, file), git for the time stamp of the release, and
# the AppStream validator and lintian, whose demands and known tags decide the
# package's lintian overrides.
readonly PACKAGE_PACKAGES=(dpkg-dev file git appstream lintian)
# What the tests and the checks of the package need on top.
readonly TEST_PACKAGES=(libbenchmark-dev libx11-dev xvfb xauth desktop-file-utils
                        devscripts man-db)
# The suite is also built and run against Qt 6; its platform plugins (xcb,
# offscreen) are only recommended by Qt 6 Gui, so they are named here.
readonly QT6_PACKAGES=(qt6-base-dev qt6-qpa-plugins)

install_missing() {
    local missing=() package
    for package in "$@"; do
        if [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) != *'ok installed' ]]; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    say "Installing missing Debian packages: ${missing[*]}"
    if [[ $(id -u) != 0 ]]; then
        die "installing packages needs root; run this as root, or install them first: apt-get install ${missing[*]}"
    fi
    apt-get update -qq || die "apt-get update failed: check the network and /etc/apt/sources.list"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        || die "could not install: ${missing[*]}"
}

# configure BUILD_DIR [CMAKE_ARGS...]
configure() {
    local dir=$1
    shift
    say "Configuring $dir"
    cmake -S "$SOURCE_DIR" -B "$dir" "$@"
}

# build BUILD_DIR
build() {
    say "Building $1"
    cmake --build "$1" -j "$JOBS"
}

# run_tests BUILD_DIR [CTEST_ARGS...]: with the output of every failing test.
run_tests() {
    local dir=$1
    shift
    say "Running the tests in $dir"
    (cd "$dir" && ctest --output-on-failure "$@")
}

# The release build is the one that is packaged: Debian's build flags with
# every hardening feature, plus stack-clash protection, and on x86
# control-flow protection, where this release's dpkg does not add them yet
# (arm64 has its branch protection from dpkg). Optimisation flags change no
# result: the project keeps floating-point contraction off, and the tests
# compare the harms bit for bit in this very build.
configure_release() {
    local cppflags cxxflags ldflags flag wanted=(-fstack-clash-protection) x86=false
    local -x DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cppflags=$(dpkg-buildflags --get CPPFLAGS)
    cxxflags=$(dpkg-buildflags --get CXXFLAGS)
    ldflags=$(dpkg-buildflags --get LDFLAGS)
    case $(dpkg --print-architecture) in
    amd64 | i386)
        x86=true
        wanted+=(-fcf-protection)
        ;;
    esac
    for flag in "${wanted[@]}"; do
        [[ " $cxxflags " == *" $flag "* ]] || cxxflags+=" $flag"
    done
    # The glibc start files of Debian 12 and 13 carry no CET marking, so the
    # linker would drop the marking that -fcf-protection gives every object of
    # ours; keep it. Those start files return normally, and the one entry into
    # them by pointer (_init, from ld.so) is not checked by Linux, which
    # enforces no indirect-branch tracking for programs.
    if $x86 && [[ $(readelf -n "$(g++ -print-file-name=Scrt1.o)" 2>/dev/null) != *'x86 feature: IBT, SHSTK'* ]]; then
        ldflags+=" -Wl,-z,ibt -Wl,-z,shstk"
    fi
    configure build/release -DCMAKE_BUILD_TYPE=Release \
        "-DCMAKE_CXX_FLAGS=$cppflags $cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
}

# Packages built from the same commit are identical: every time stamp in them
# is the time of the last commit, unless SOURCE_DATE_EPOCH is set already.
set_source_date_epoch() {
    if [[ -n ${SOURCE_DATE_EPOCH:-} ]]; then
        return 0
    fi
    if SOURCE_DATE_EPOCH=$(git -C "$SOURCE_DIR" log -1 --format=%ct 2>/dev/null); then
        export SOURCE_DATE_EPOCH
        return 0
    fi
    # Not a git checkout (an unpacked source tree): the date of the release.
    SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*  //p' packaging/changelog | head -1)" +%s) \
        || die "cannot tell the release date: not a git checkout, and no date in packaging/changelog"
    export SOURCE_DATE_EPOCH
}

package_file() {
    local deb
    deb=$(ls "$SOURCE_DIR"/build/release/bastilo_*.deb 2>/dev/null | head -1)
    [[ -n $deb ]] || die "no package in build/release: run ./dev.sh package"
    printf '%s\n' "$deb"
}

build_package() {
    set_source_date_epoch
    configure_release
    build build/release
    say "Packaging (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
    rm -f build/release/bastilo_*.deb
    (cd build/release && cpack -G DEB)
}

# Where the test and package checks find the package's files: unpacked, not
# installed, so that the machine's own packages stay as they are.
readonly PACKAGE_ROOT=build/release/package-root

# Which platform Qt will use: Wayland where only a Wayland display is there,
# or where the session or QT_QPA_PLATFORM asks for it (as Qt does).
wayland_wanted() {
    [[ -n ${WAYLAND_DISPLAY:-} ]] || return 1
    case ${QT_QPA_PLATFORM:-} in
    *wayland*) return 0 ;;
    ?*) return 1 ;;
    esac
    [[ -z ${DISPLAY:-} || ${XDG_SESSION_TYPE:-} == wayland ]]
}

cmd_run() {
    if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
        die "there is no display to open the window on: neither DISPLAY nor WAYLAND_DISPLAY is set"
    fi
    local packages=("${APP_PACKAGES[@]}")
    if wayland_wanted; then
        packages+=(qtwayland5)
    fi
    install_missing "${packages[@]}"
    configure build/app -DCMAKE_BUILD_TYPE=Release -DBASTILO_BUILD_TESTS=OFF -DBASTILO_BUILD_BENCH=OFF
    build build/app
    say "Starting build/app/bastilo"
    if [[ -z ${DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
        # Qt 5 picks X11 unless told otherwise; with no X display it would abort.
        export QT_QPA_PLATFORM=wayland
    fi
    exec build/app/bastilo
}

cmd_package() {
    install_missing "${APP_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    build_package
    say "Built $(package_file)"
}

# --- The stages of ./dev.sh test ----------------------------------------

stage_release_suite() {
    run_tests build/release
}

# The same suite against Qt 6; the program and its package stay on Qt 5.
stage_qt6_suite() {
    configure build/qt6 -DCMAKE_BUILD_TYPE=Release -DQT_MAJOR_VERSION=6 -DBASTILO_BUILD_BENCH=OFF
    build build/qt6
    run_tests build/qt6
}

# LeakSanitizer stops the threads of the process it checks with ptrace, which
# qemu's user emulation does not provide (another architecture, or a 32-bit
# one on a kernel without 32-bit support): there it hangs at the end of every
# test instead. Whether it hangs here, a planted leak tells within a minute.
leak_sanitizer_hangs() {
    local dir status=0
    dir=$(mktemp -d)
    printf '#include <cstdlib>\nvoid *kept;\nint main() { kept = std::malloc(7); kept = nullptr; }\n' \
        >"$dir/leak.cpp"
    g++ -fsanitize=address "$dir/leak.cpp" -o "$dir/leak" || die "cannot build with AddressSanitizer"
    ASAN_OPTIONS=detect_leaks=1 timeout 60 "$dir/leak" >/dev/null 2>&1 || status=$?
    rm -rf "$dir"
    ((status == 124))
}

stage_sanitizer_suite() {
    local leaks=ON
    if leak_sanitizer_hangs; then
        say "LeakSanitizer hangs on this machine, as under qemu's user emulation: the suite runs without leak checks"
        leaks=OFF
    fi
    configure build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBASTILO_SANITIZE=ON \
        -DBASTILO_BUILD_BENCH=OFF -DBASTILO_DETECT_LEAKS=$leaks
    build build/sanitize
    run_tests build/sanitize
}

stage_desktop_files() {
    local report status=0 complaints
    desktop-file-validate data/*.desktop
    report=$(appstreamcli validate --pedantic --no-net data/*.metainfo.xml 2>&1) || status=$?
    printf '%s\n' "$report"
    if ((status != 0)); then
        # AppStream 1.0 and later want a homepage, which the project has not
        # got yet; any other error or warning fails the stage.
        complaints=$(grep -E '^[EW]: ' <<<"$report" | grep -v ': url-homepage-missing$' || true)
        if [[ -n $complaints || $report != *url-homepage-missing* ]]; then
            die "the AppStream metadata is not valid"
        fi
        say "The AppStream metadata has no homepage: the project has no public home yet"
    fi
    say "Desktop entry and AppStream metadata are valid"
}

# The package unpacked: its files where they belong, its dependencies
# installable on this machine, and its program opening and closing its
# window under Xvfb.
stage_package() {
    local deb path
    deb=$(package_file)
    rm -rf "$PACKAGE_ROOT"
    dpkg-deb -x "$deb" "$PACKAGE_ROOT"
    dpkg-deb --info "$deb"
    dpkg-deb --contents "$deb"
    for path in usr/bin/bastilo usr/share/applications/bastilo.desktop \
        usr/share/icons/hicolor/scalable/apps/org.bastilo.Bastilo.svg \
        usr/share/metainfo/org.bastilo.Bastilo.metainfo.xml usr/share/man/man1/bastilo.1.gz \
        usr/share/doc/bastilo/copyright usr/share/doc/bastilo/changelog.gz; do
        [[ -e $PACKAGE_ROOT/$path ]] || die "the package lacks /$path"
    done
    desktop-file-validate "$PACKAGE_ROOT"/usr/share/applications/bastilo.desktop
    say "Its dependencies install on this machine (simulated)"
    apt-get install --simulate --no-install-recommends "$deb"
    say "Starting the packaged bastilo and closing its window"
    BASTILO_EXE=$SOURCE_DIR/$PACKAGE_ROOT/usr/bin/bastilo run_tests build/release -R '^tst_launch$'
}

stage_lintian() {
    lintian --pedantic --display-info --fail-on error,warning "$(package_file)"
    say "lintian found nothing to report"
}

stage_man_page() {
    local page=$PACKAGE_ROOT/usr/share/man/man1/bastilo.1.gz warnings
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [[ -n $warnings ]]; then
        printf '%s\n' "$warnings"
        die "the manual page renders with warnings"
    fi
    MANWIDTH=80 man -E UTF-8 -l "$page" | head -20
    say "The manual page renders without a warning"
}

stage_hardening() {
    local options=() report status=0 lacking
    # Branch protection (BTI and PAC) is an ARM feature, yet Debian 13's
    # hardening-check asks for it on every architecture.
    if [[ $(dpkg --print-architecture) != arm64 \
          && $(hardening-check --help 2>&1) == *--nobranchprotection* ]]; then
        options+=(--nobranchprotection)
    fi
    report=$(hardening-check "${options[@]}" "$PACKAGE_ROOT"/usr/bin/bastilo) || status=$?
    printf '%s\n' "$report"
    lacking=$(grep ': no' <<<"$report" | grep -v '(ignored)$' || true)
    if ((status != 0)) || [[ -n $lacking ]]; then
        die "the packaged program lacks a hardening feature"
    fi
}

# Two packages of the same commit, built from clones at different paths, are
# identical. With a clean work tree the package built above is one of them.
stage_reproducible() {
    local first second dir clones=(build/reproducible/second-clone-at-a-longer-path)
    first=$(package_file)
    if [[ -n $(git status --porcelain --untracked-files=no) ]]; then
        say "The work tree has uncommitted changes: comparing two clones of HEAD instead"
        clones+=(build/reproducible/first)
    fi
    rm -rf build/reproducible
    for dir in "${clones[@]}"; do
        say "Building the package again in $dir"
        git clone -q --no-hardlinks "$SOURCE_DIR" "$dir"
        (unset SOURCE_DATE_EPOCH && "$dir"/dev.sh package)
    done
    second=$(ls "${clones[0]}"/build/release/bastilo_*.deb)
    if ((${#clones[@]} > 1)); then
        first=$(ls "${clones[1]}"/build/release/bastilo_*.deb)
    fi
    if ! cmp "$first" "$second"; then
        die "$first and $second differ"
    fi
    sha256sum "$first" "$second"
    say "Both packages are identical"
}

STAGES=()
RESULTS=()

# stage_log NAME: where the output of stage NAME is kept.
stage_log() { printf '%s/%s.log\n' "$LOG_DIR" "${1// /-}"; }

# stage NAME FUNCTION [NEEDED_STAGE...]: runs FUNCTION with errexit, its output
# shown and kept in build/logs, unless a stage that it needs did not pass.
stage() {
    local name=$1 function=$2 needed result log
    shift 2
    log=$(stage_log "$name")
    for needed in "$@"; do
        if [[ $(stage_result "$needed") != passed ]]; then
            STAGES+=("$name")
            RESULTS+=("not run ($needed did not pass)")
            return 0
        fi
    done
    say "Stage: $name"
    set +e
    (set -e; "$function") 2>&1 | tee "$log"
    result=${PIPESTATUS[0]}
    set -e
    STAGES+=("$name")
    if ((result == 0)); then RESULTS+=(passed); else RESULTS+=(failed); fi
}

stage_result() {
    local i
    for i in "${!STAGES[@]}"; do
        if [[ ${STAGES[i]} == "$1" ]]; then
            printf '%s\n' "${RESULTS[i]}"
            return 0
        fi
    done
    printf 'not run\n'
}

summary() {
    local i passed=0 failed=0 skipped=0
    say "Summary"
    for i in "${!STAGES[@]}"; do
        printf '  %-18s %s\n' "${STAGES[i]}" "${RESULTS[i]}"
        case ${RESULTS[i]} in
        passed) passed=$((passed + 1)) ;;
        failed) failed=$((failed + 1)) ;;
        *) skipped=$((skipped + 1)) ;;
        esac
    done
    for i in "${!STAGES[@]}"; do
        if [[ ${RESULTS[i]} == failed ]]; then
            printf '\n--- %s failed; the end of its output (all of it in %s):\n' "${STAGES[i]}" \
                "$(stage_log "${STAGES[i]}")"
            tail -n 60 "$(stage_log "${STAGES[i]}")"
        fi
    done
    printf '\nstages: %d passed, %d failed, %d skipped\n' "$passed" "$failed" "$skipped"
    ((failed == 0 && skipped == 0))
}

cmd_test() {
    install_missing "${APP_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" "${TEST_PACKAGES[@]}" \
        "${QT6_PACKAGES[@]}"
    rm -rf "$LOG_DIR"
    mkdir -p "$LOG_DIR"

    stage "package build" build_package
    stage "release suite" stage_release_suite
    stage "qt6 suite" stage_qt6_suite
    stage "sanitizer suite" stage_sanitizer_suite
    stage "desktop files" stage_desktop_files
    stage "package" stage_package "package build"
    stage "lintian" stage_lintian "package build"
    stage "man page" stage_man_page "package"
    stage "hardening" stage_hardening "package"
    stage "reproducible" stage_reproducible "package build"
    summary
}

case ${1:-} in
run) cmd_run ;;
test) cmd_test ;;
package) cmd_package ;;
*)
    sed -n '2,9s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
