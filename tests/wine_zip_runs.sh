#!/usr/bin/env bash
# What a Windows user gets: the zip holds exactly the player, its library, the
# show and a README with Windows line ends, and the unzipped player finds
# everything beside itself (started from its folder with no options but the
# capture, it draws the show's first frame).
# Usage: wine_zip_runs.sh ZIP WORKDIR
set -euo pipefail
zip=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
expected="tessaro-win64/ tessaro-win64/README.txt tessaro-win64/lumora.dll tessaro-win64/pako.qdz tessaro-win64/tessaro.exe "
if [ "$listed" != "$expected" ]; then
    echo "zip holds: $listed"
    echo "expected:  $expected"
    exit 1
fi
unzip -q "$zip" -d "$work"
folder="$work/tessaro-win64"
if ! grep -q $'\r$' "$folder/README.txt" || grep -q $'[^\r]$' "$folder/README.txt"; then
    echo "README.txt does not have Windows line ends throughout"
    exit 1
fi

cd "$folder"
wine tessaro.exe --capture frames --frames 1 >run.log 2>&1 || { echo "the unzipped player failed:"; cat run.log; exit 1; }
size=$(stat -c %s frames/frame_00000.png 2>/dev/null || echo 0)
if [ "$size" -lt 1000 ]; then
    echo "no first frame from the unzipped player (size $size):"
    cat run.log
    exit 1
fi
echo "the unzipped player drew its first frame ($size bytes)"
