#!/usr/bin/env bash
# The show played in a window as a person sets it up: "FullScreen Mode"
# unchecked in the dialog, Enter. The window's client area is exactly the
# chosen 640 x 480, the main loop runs, and Escape ends the run with status 0;
# a second run from the command line is ended with the close box, also 0.
# Usage: player_windowed.sh PREFIX TESSARO.EXE PAKO.QDZ
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"
archive="$3"
[ -f "$archive" ] || fail "no archive at $archive"

# check_window: the show's window is up at the chosen size and its loop runs.
check_window() {
    wait_line '^loop passes=[0-9]+ frames=[1-9][0-9]* active=1$' 60
    expect_line "^settings width=$1 height=$2 bits=$3 fullscreen=0 sound=0$"
    find_window "$WINDOW_TITLE"
    read -r _ _ w h <<<"$(window_geometry "$WINDOW_ID")"
    [ "$w" = "$1" ] && [ "$h" = "$2" ] || fail "client area ${w}x${h}, not $1x$2"
}

start_program TESSARO_NO_MESSAGE_BOX=1 TESSARO_TRACE_LOOP=1 -- --pak "$archive"
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
timeout 5 xdotool windowfocus --sync "$dialog" || fail "cannot focus the dialog"
click_control check "FullScreen Mode"
press "$dialog" Return
check_window 640 480 16
press "$WINDOW_ID" Escape
wait_exit 30
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS after Escape"
echo "escape ok ($((SECONDS - TEST_START)) s)"

start_program TESSARO_NO_MESSAGE_BOX=1 TESSARO_TRACE_LOOP=1 -- --pak "$archive" --mode 4 --windowed
check_window 320 240 32
close_window "$WINDOW_ID"
wait_exit 30
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS after the close box"
if grep -Eq "Velta (FrameWork )?[Ee]rror" "$ERR"; then
    fail "unexpected error box"
fi
pass
