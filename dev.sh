#!/usr/bin/env bash
# Sets up, builds, runs and tests bastilo on Debian 12.
#
#   ./dev.sh run       build the program and open its window
#   ./dev.sh test      build everything and run the whole test suite
#   ./dev.sh package   build the Debian package into build/release
#
# Each verb first installs the Debian packages it needs when they are missing
# (that step needs root), then configures and builds with CMake.
set -euo pipefail

cd "$(dirname "$(readlink -f "$0")")"
readonly SOURCE_DIR=$PWD
readonly JOBS=$(nproc 2>/dev/null || echo 2)

say() { printf '\n==> %s\n' "$*"; }
die() { printf 'dev.sh: %s\n' "$*" >&2; exit 1; }

# What the program needs to build and show its window.
readonly APP_PACKAGES=(g++ make cmake qtbase5-dev fonts-dejavu-core)
# What the tests, the benchmarks and the packaging checks need on top.
readonly TEST_PACKAGES=(libbenchmark-dev libx11-dev xvfb xauth
                        desktop-file-utils appstream dpkg-dev file)

install_missing() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return
    fi
    say "Installing missing Debian packages: ${missing[*]}"
    if [[ $(id -u) != 0 ]]; then
        die "installing packages needs root; run this as root, or install them first: apt-get install ${missing[*]}"
    fi
    apt-get update -qq || die "apt-get update failed"
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

# build BUILD_DIR [TARGET]
build() {
    say "Building $1${2:+ ($2)}"
    cmake --build "$1" -j "$JOBS" ${2:+--target "$2"}
}

# run_tests BUILD_DIR: the whole suite, with the output of every failing test.
run_tests() {
    say "Running the tests in $1"
    (cd "$1" && ctest --output-on-failure)
}

cmd_run() {
    install_missing "${APP_PACKAGES[@]}"
    configure build/app -DCMAKE_BUILD_TYPE=Release -DBASTILO_BUILD_TESTS=OFF -DBASTILO_BUILD_BENCH=OFF
    build build/app bastilo
    if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
        die "built build/app/bastilo, but there is no display to open it on (DISPLAY is not set)"
    fi
    say "Starting build/app/bastilo"
    exec build/app/bastilo
}

cmd_package() {
    install_missing "${APP_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    configure build/release -DCMAKE_BUILD_TYPE=Release
    build build/release
    say "Packaging"
    (cd build/release && cpack -G DEB)
}

# xvfb_run COMMAND...: runs COMMAND on a fresh virtual X display.
xvfb_run() {
    xvfb-run --auto-servernum --server-args='-screen 0 1024x768x24' "$@"
}

check_desktop_files() {
    say "Validating the desktop entry and the AppStream metadata"
    desktop-file-validate data/*.desktop
    appstreamcli validate --no-net data/*.metainfo.xml
}

# Installs the package with apt, opens the installed program's window under
# Xvfb, closes it, and removes the package again whatever happened.
check_installed_package() {
    local deb
    deb=$(ls build/release/bastilo_*.deb) || die "no package in build/release"
    say "Installing $deb"
    if dpkg-query -W -f='${Status}' bastilo 2>/dev/null | grep -q 'ok installed'; then
        apt-get remove -y -qq bastilo
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
    trap 'say "Removing the package"; apt-get remove -y -qq bastilo' EXIT
    desktop-file-validate /usr/share/applications/*bastilo*.desktop
    say "Starting the installed /usr/bin/bastilo and closing its window"
    BASTILO_EXE=/usr/bin/bastilo xvfb_run build/release/tests/tst_launch
}

cmd_test() {
    cmd_package
    run_tests build/release

    configure build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBASTILO_SANITIZE=ON \
        -DBASTILO_BUILD_BENCH=OFF
    build build/sanitize
    run_tests build/sanitize

    check_desktop_files
    check_installed_package
    say "All checks passed"
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
