#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests share, once: a 64-bit prefix with
# the prompts for the .NET and HTML runtimes skipped, then a marker file.
# Usage: wine_prefix.sh PREFIX (run under a virtual X server)
set -euo pipefail
export WINEPREFIX="$1"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ -f "$WINEPREFIX/.tessaro-ready" ]; then
    echo "prefix ready"
    exit 0
fi
start=$SECONDS
rm -rf "$WINEPREFIX"
wineboot -i
wineserver -w
touch "$WINEPREFIX/.tessaro-ready"
echo "prefix made in $((SECONDS - start)) s"
