#!/usr/bin/env bash
# Shared steps of the framework's GUI tests: start the probe, wait for its
# report lines and windows (polling with a deadline, never a blind sleep),
# act on windows with xdotool as a person would, and fail with the probe's
# output attached.
set -uo pipefail

PROBE="$1"
XCLIENT="$(dirname "$PROBE")/lumora_xclient"
WORK="$(mktemp -d)"
OUT="$WORK/probe.out"
ERR="$WORK/probe.err"
PROBE_PID=""
DIALOG_CAPTION="Velta Engine Beta 0.1 - Orvane Team"
WINDOW_TITLE="Velta Beta 0.1"

fail() {
    echo "FAIL: $*"
    echo "--- probe stdout"
    cat "$OUT" 2>/dev/null
    echo "--- probe stderr"
    cat "$ERR" 2>/dev/null
    if [ -n "$PROBE_PID" ]; then
        kill "$PROBE_PID" 2>/dev/null
    fi
    exit 1
}

# start_probe [VAR=value...]: runs the probe with the dialog dump switched on.
start_probe() {
    : >"$OUT"
    : >"$ERR"
    env TESSARO_DIALOG_DUMP=1 "$@" "$PROBE" >"$OUT" 2>"$ERR" &
    PROBE_PID=$!
}

# wait_line REGEX [SECONDS]: waits until the probe has printed a matching line.
wait_line() {
    local deadline=$((SECONDS + ${2:-20}))
    while [ $SECONDS -lt $deadline ]; do
        if grep -Eq -- "$1" "$OUT"; then
            return 0
        fi
        sleep 0.1
    done
    fail "no line matching '$1'"
}

# wait_line_after MARKER-REGEX REGEX [SECONDS]: waits for a line matching REGEX
# printed after the first line matching MARKER-REGEX.
wait_line_after() {
    local deadline=$((SECONDS + ${3:-20}))
    local n
    while [ $SECONDS -lt $deadline ]; do
        n=$(grep -En -- "$1" "$OUT" | head -1 | cut -d: -f1)
        if [ -n "$n" ] && tail -n +"$((n + 1))" "$OUT" | grep -Eq -- "$2"; then
            return 0
        fi
        sleep 0.1
    done
    fail "no line matching '$2' after '$1'"
}

# expect_line REGEX: the probe has printed a matching line.
expect_line() {
    grep -Eq -- "$1" "$OUT" || fail "expected a line matching '$1'"
}

# expect_no_line REGEX: the probe has printed no matching line.
expect_no_line() {
    if grep -Eq -- "$1" "$OUT"; then
        fail "unexpected line matching '$1'"
    fi
}

# find_window EXACT-NAME [SECONDS]: sets WINDOW_ID to the mapped window with
# that name. Read from the window tree: the xdotool here does not match names
# stored as UTF-8 strings, which is how SDL names its message boxes.
find_window() {
    local deadline=$((SECONDS + ${2:-20}))
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

# viewable_windows: prints how many top-level windows are on screen.
viewable_windows() {
    local count=0
    local id
    for id in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}'); do
        if xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable"; then
            count=$((count + 1))
        fi
    done
    echo "$count"
}

# wait_more_windows COUNT [SECONDS]: waits until more than COUNT top-level
# windows are on screen (a pop-up list has opened).
wait_more_windows() {
    local deadline=$((SECONDS + ${2:-20}))
    while [ $SECONDS -lt $deadline ]; do
        if [ "$(viewable_windows)" -gt "$1" ]; then
            return 0
        fi
        sleep 0.1
    done
    fail "no pop-up appeared"
}

# press WINDOW KEY...: focuses the window and types the keys.
press() {
    local id="$1"
    shift
    timeout 5 xdotool windowfocus --sync "$id" || fail "cannot focus window $id"
    xdotool key --delay 50 "$@"
}

# click_control KIND TEXT WINDOW: clicks the dialog control the dump lists with that kind and text.
click_control() {
    local line geo x y w h
    line=$(grep -F -- "$1|$2|" "$OUT" | head -1)
    [ -n "$line" ] || fail "dialog has no $1 '$2'"
    geo=$(echo "$line" | cut -d'|' -f3)
    IFS=, read -r x y w h <<<"$geo"
    xdotool mousemove --window "$3" $((x + 8)) $((y + h / 2)) click 1
}

# wait_exit [SECONDS]: waits for the probe to end and sets EXIT_STATUS.
wait_exit() {
    local deadline=$((SECONDS + ${1:-20}))
    while kill -0 "$PROBE_PID" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            fail "probe did not end"
        fi
        sleep 0.1
    done
    wait "$PROBE_PID"
    EXIT_STATUS=$?
    PROBE_PID=""
}

# window_geometry WINDOW: prints "X Y WIDTH HEIGHT".
window_geometry() {
    xdotool getwindowgeometry "$1" | awk '/Position/ {split($2, p, ","); x = p[1]; y = p[2]}
        /Geometry/ {split($2, g, "x"); print x, y, g[1], g[2]}'
}
