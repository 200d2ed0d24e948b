#!/usr/bin/env bash
# The Windows player's capture under Wine draws the same show as the Linux
# player's: frames 60, 300 and 500 differ by a mean of under 2 levels of 255
# per channel (both are drawn by the same Mesa; Wine reaches it through WGL
# and GLX, Linux through EGL).
# Usage: wine_capture_matches.sh TESSARO_EXE LINUX_TESSARO PAKO_QDZ WORKDIR
set -euo pipefail
exe=$1
linux_player=$2
pak=$3
work=$4
rm -rf "$work"
mkdir -p "$work/win" "$work/linux"

status=0
for frame in 60 300 500; do
    name=$(printf 'frame_%05d.png' "$frame")
    "$linux_player" --capture "$work/linux" --pak "$pak" --start "$frame" --frames 1 >"$work/linux.log" 2>&1 || {
        echo "Linux capture of frame $frame failed:"; cat "$work/linux.log"; exit 1; }
    wine "$exe" --capture "$work/win" --pak "$pak" --start "$frame" --frames 1 >"$work/win.log" 2>&1 || {
        echo "Windows capture of frame $frame failed:"; cat "$work/win.log"; exit 1; }
    for side in linux win; do
        [ -s "$work/$side/$name" ] || { echo "no $side/$name"; ls "$work/$side"; exit 1; }
    done
    # Mean absolute error over all channels, normalised to 0..1 in brackets
    # (compare's status says only whether the pictures differ at all).
    mae=$({ compare -metric MAE "$work/linux/$name" "$work/win/$name" null: 2>&1 || true; } |
        sed -n 's/.*(\(.*\)).*/\1/p')
    [ -n "$mae" ] || { echo "compare gave no measure for frame $frame"; exit 1; }
    levels=$(awk -v m="$mae" 'BEGIN { printf "%.3f", m * 255 }')
    verdict=$(awk -v l="$levels" 'BEGIN { print (l < 2.0) ? "ok" : "too far" }')
    echo "frame $frame: mean difference $levels levels of 255 ($verdict)"
    [ "$verdict" = ok ] || status=1
done
exit $status
