#!/usr/bin/env bash
# Shared steps of the Wine tests: run a Windows program of the build under
# Wine on the virtual X server the test runs in, wait for its report lines and
# windows (polling with a deadline, never a blind sleep), act on windows with
# xdotool as a person would, and fail with the program's output attached.
#
# Usage: source wine_lib.sh PREFIX PROGRAM.EXE
# The prefix is the one win_wine_prefix.sh made. Wine keeps a server per
# prefix that outlives its programs and stays bound to the display it was
# started on; every test runs on a display of its own, so the server is
# stopped before the test and after it.
set -uo pipefail

export WINEPREFIX="$1"
PROGRAM="$2"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
WORK="$(mktemp -d)"
OUT="$WORK/program.out"
ERR="$WORK/program.err"
PROGRAM_PID=""
DIALOG_CAPTION="Velta Engine Beta 0.1 - Orvane Team"
WINDOW_TITLE="Velta Beta 0.1"
TEST_START=$SECONDS

[ -f "$WINEPREFIX/.tessaro-ready" ] || { echo "FAIL: no Wine prefix at $WINEPREFIX"; exit 1; }
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

stop_wine() {
    if [ -n "$PROGRAM_PID" ]; then
        kill "$PROGRAM_PID" 2>/dev/null
        PROGRAM_PID=""
    fi
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

fail() {
    echo "FAIL: $*"
    echo "--- stdout"
    cat "$OUT" 2>/dev/null
    echo "--- stderr"
    cat "$ERR" 2>/dev/null
    stop_wine
    exit 1
}

# start_program [VAR=value...] [-- ARGS...]: runs the program in its own
# folder (where its DLL and archive are) with the dialog dump switched on.
start_program() {
    local vars=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        vars+=("$1")
        shift
    done
    [ "${1:-}" = "--" ] && shift
    : >"$OUT"
    : >"$ERR"
    # The C runtime ends text lines with CR LF; the reports are read without the CR.
    (cd "$(dirname "$PROGRAM")" && exec env TESSARO_DIALOG_DUMP=1 "${vars[@]}" wine "$PROGRAM" "$@") \
        > >(sed -u 's/\r$//' >"$OUT") 2> >(sed -u 's/\r$//' >"$ERR") &
    PROGRAM_PID=$!
}

# wait_line REGEX [SECONDS] [FILE]: waits until the program has printed a matching line.
wait_line() {
    local deadline=$((SECONDS + ${2:-30}))
    while [ $SECONDS -lt $deadline ]; do
        if grep -Eq -- "$1" "${3:-$OUT}"; then
            return 0
        fi
        sleep 0.1
    done
    fail "no line matching '$1'"
}

expect_line() {
    grep -Eq -- "$1" "$OUT" || fail "expected a line matching '$1'"
}

expect_no_line() {
    if grep -Eq -- "$1" "$OUT"; then
        fail "unexpected line matching '$1'"
    fi
}

# find_window EXACT-NAME [SECONDS]: sets WINDOW_ID to the mapped window with that name.
find_window() {
    local deadline=$((SECONDS + ${2:-30}))
    local id
    WINDOW_ID=""
    while [ $SECONDS -lt $deadline ]; do
        for id in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\":" | awk '{print $1}'); do
            if xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable"; then
                WINDOW_ID=$((id))
                return 0
            fi
        done
        sleep 0.1
    done
    fail "no window named '$1'"
}

# press WINDOW KEY...: focuses the window and types the keys.
press() {
    local id="$1"
    shift
    timeout 5 xdotool windowfocus --sync "$id" || fail "cannot focus window $id"
    xdotool key --delay 80 "$@"
}

# click_control KIND TEXT: clicks the dialog control the dump lists with that
# kind and text, near its left edge (where a check box's box is).
click_control() {
    local line geo x y w h ox oy
    line=$(grep -F -- "$1|$2|" "$OUT" | head -1)
    [ -n "$line" ] || fail "dialog has no $1 '$2'"
    IFS=, read -r x y w h <<<"$(echo "$line" | cut -d'|' -f3)"
    IFS=, read -r ox oy <<<"$(grep '^client-origin|' "$OUT" | cut -d'|' -f2)"
    xdotool mousemove $((ox + x + 6)) $((oy + y + h / 2)) click 1
}

# close_window WINDOW: what the window manager sends when the close box is clicked.
close_window() {
    python3 "$HERE/wm_close.py" "$1" || fail "cannot send the close request"
}

# wait_exit [SECONDS]: waits for the program to end and sets EXIT_STATUS.
wait_exit() {
    local deadline=$((SECONDS + ${1:-30}))
    while kill -0 "$PROGRAM_PID" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            fail "program did not end"
        fi
        sleep 0.1
    done
    wait "$PROGRAM_PID"
    EXIT_STATUS=$?
    PROGRAM_PID=""
}

# window_geometry WINDOW: prints "X Y WIDTH HEIGHT" of the X window (the client area).
window_geometry() {
    xdotool getwindowgeometry "$1" | awk '/Position/ {split($2, p, ","); x = p[1]; y = p[2]}
        /Geometry/ {split($2, g, "x"); print x, y, g[1], g[2]}'
}

# pass: ends the test, saying how long it took.
pass() {
    stop_wine
    echo "ok ($((SECONDS - TEST_START)) s)"
    exit 0
}
