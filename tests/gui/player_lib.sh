#!/usr/bin/env bash
# Shared steps of the tests that drive the real player under Xvfb as a person
# would: a window manager, the player's window found by its title, polling
# with a deadline (never a blind sleep), and failures that show what the
# player printed. Sourced; the sourcing script sets PLAYER first.
set -uo pipefail

WORK="$(mktemp -d)"
OUT="$WORK/player.out"
ERR="$WORK/player.err"
PLAYER_PID=""
WM_PID=""
TITLE="Velta Beta 0.1"

finish() {
    [ -n "$PLAYER_PID" ] && kill "$PLAYER_PID" 2>/dev/null
    [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap finish EXIT

fail() {
    echo "FAIL: $*"
    echo "--- player stdout"
    tail -n 20 "$OUT" 2>/dev/null
    echo "--- player stderr"
    cat "$ERR" 2>/dev/null
    exit 1
}

# until_true SECONDS COMMAND...: polls the command until it succeeds.
until_true() {
    local deadline=$((SECONDS + $1))
    shift
    while [ $SECONDS -lt $deadline ]; do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# start_window_manager: openbox, as a desktop has one; keys reach the window
# it activates.
start_window_manager() {
    openbox --sm-disable >/dev/null 2>&1 &
    WM_PID=$!
    until_true 30 wm_running || fail "no window manager"
}

# start_player OPTION...: the player with its loop traced, output kept.
start_player() {
    : >"$OUT"
    : >"$ERR"
    TESSARO_TRACE_LOOP=1 TESSARO_NO_MESSAGE_BOX=1 "$PLAYER" "$@" >"$OUT" 2>"$ERR" &
    PLAYER_PID=$!
}

# The player's mapped window, from the window tree (xdotool does not match
# names stored as UTF-8 strings, as SDL stores them).
window_id() {
    local id
    for id in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$TITLE\":" | awk '{print $1}'); do
        if xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable"; then
            echo $((id))
            return
        fi
    done
}
window_shown() { test -n "$(window_id)"; }

# wait_window: sets WINDOW once the player's window is on screen.
wait_window() {
    until_true 60 window_shown || fail "no player window"
    WINDOW=$(window_id)
}

# wait_exit: waits for the player to end and sets STATUS.
wait_exit() {
    ended() { ! kill -0 "$PLAYER_PID" 2>/dev/null; }
    until_true 30 ended || fail "the player did not end"
    wait "$PLAYER_PID"
    STATUS=$?
    PLAYER_PID=""
}
