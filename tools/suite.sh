#!/usr/bin/env bash
# Installs what the suite needs on Debian, builds it, and either starts it or runs every test.
#   bash tools/suite.sh run    build into build/ and start the suite
#   bash tools/suite.sh test   build into build-tests/ (warnings as errors, sanitizers) and run every test,
#                              then a short run of every fuzz target (tools/fuzz.sh)
set -euo pipefail

mode="${1:-}"
case "$mode" in
run | test) ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac

cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config git
    qt6-base-dev libqt6dbus6 libqt6test6 libgl-dev
    libsqlite3-dev sqlite3 libplist-dev libleveldb-dev libsnappy-dev
    qt6-svg-dev libqt6svg6 libxcb1-dev
    dbus dbus-x11 gnome-keyring libsecret-tools
    xvfb xauth strace clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The desktop's application menu lists the suite through a desktop entry and an icon of the user's.
install_desktop_entry() {
    local program="$PWD/build/Veltrane.app/Contents/MacOS/Veltrane"
    local data="${XDG_DATA_HOME:-$HOME/.local/share}"
    local icons="$data/icons/hicolor/scalable/apps"
    mkdir -p "$data/applications" "$icons"
    cp resources/about.svg "$icons/com.orvando.Veltrane.svg"
    # Exec quoting: the path in double quotes with \, ", ` and $ escaped and % doubled; then every
    # backslash is doubled once more by the entry's own string escaping.
    local quoted="${program//\\/\\\\}"
    quoted="${quoted//\"/\\\"}"
    quoted="${quoted//\`/\\\`}"
    quoted="${quoted//\$/\\\$}"
    quoted="${quoted//%/%%}"
    quoted="${quoted//\\/\\\\}"
    local entry="$data/applications/com.orvando.Veltrane.desktop"
    cat >"$entry.tmp" <<ENTRY
[Desktop Entry]
Type=Application
Name=Veltrane
GenericName=Browser Cleaner
Comment=Removes what web browsers leave on disk each time they quit
Exec="$quoted"
Icon=com.orvando.Veltrane
Terminal=false
Categories=Utility;Security;
StartupNotify=true
StartupWMClass=Veltrane
ENTRY
    mv "$entry.tmp" "$entry"
    if command -v update-desktop-database >/dev/null; then
        update-desktop-database -q "$data/applications" || true
    fi
}

jobs="$(nproc)"
if [ "$mode" = run ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANE_BUILD_TESTS=OFF
    cmake --build build -j "$jobs"
    install_desktop_entry
    exec build/Veltrane.app/Contents/MacOS/Veltrane "${@:2}"
fi

cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANE_WERROR=ON \
    -DENABLE_SANITIZER_ADDRESS=ON -DENABLE_SANITIZER_UNDEFINED_BEHAVIOR=ON
cmake --build build-tests -j "$jobs"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/data/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# One test at a time: the applications of a user are one shared workspace, and a daemon under test
# reacts to every application that quits, those of other tests included.
ctest --test-dir build-tests --output-on-failure -j 1
# Each fuzz target for a few seconds, built with clang into build-fuzz/; tools/fuzz.sh makes the long runs.
bash tools/fuzz.sh 5
