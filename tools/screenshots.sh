#!/usr/bin/env bash
# Renders every window, dialog, popover, switch state and tray image of the suite to PNG files,
# in a light and a dark theme at 1x and 2x scale, so that anyone can look without a desktop:
#   bash tools/screenshots.sh [folder]        (default: screenshots/)
# Uses a real X server (xvfb-run) where one can be started, Qt's offscreen platform otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-screenshots}")"

cmake -S . -B build-shots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRANE_BUILD_TESTS=OFF \
    -DVELTRANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-shots -j "$(nproc)"

run=()
if command -v xvfb-run >/dev/null && command -v Xvfb >/dev/null; then
    run=(xvfb-run -a -s "-screen 0 1600x1200x24")
    export QT_QPA_PLATFORM=xcb
else
    echo "No X server (xvfb-run): rendering on the offscreen platform" >&2
    export QT_QPA_PLATFORM=offscreen
fi
# A private session bus, so that nothing of the user's desktop is touched.
if command -v dbus-run-session >/dev/null; then
    run+=(dbus-run-session --)
fi

status=0
for program in build-shots/shots/veltrane-shots-*; do
    [ -x "$program" ] || continue
    for theme in light dark; do
        for scale in 1 2; do
            folder="$out/$theme-${scale}x"
            VELTRANE_SHOTS_THEME=$theme QT_SCALE_FACTOR=$scale VELTRANE_BUNDLE="$PWD/build-shots/Veltrane.app" \
                "${run[@]}" "$program" "$folder" || status=1
        done
    done
done
echo "Pictures in $out"
exit $status
