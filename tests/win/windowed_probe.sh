#!/usr/bin/env bash
# A windowed run as a person sets it up: "FullScreen Mode" unchecked with the
# mouse, "Play Sounds" ticked, "640x480   32 Bit" picked from the opened list.
# The window's client area is exactly 640 x 480; the close box ends the loop
# with status 0. A second run with the preset variable of the program's
# command line skips the dialog and plays 320 x 240 windowed at once.
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"

start_program TESSARO_NO_MESSAGE_BOX=1
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
timeout 5 xdotool windowfocus --sync "$dialog" || fail "cannot focus the dialog"
click_control check "FullScreen Mode"
click_control check "Play Sounds"
# Index 1 is selected; four steps down the opened list is index 5.
click_control combo ""
xdotool sleep 0.5 key --delay 80 Down Down Down Down Return
press "$dialog" Return
wait_line '^ready$'
expect_line '^OrvaneInit 1$'
expect_line '^fwk dialogResult=0 width=640 height=480 bits=32 fullscreen=0 playSounds=1 done=0$'
first=$(grep -m1 '^msg ' "$OUT")
[[ "$first" == "msg WM_CREATE "* ]] || fail "first message: $first"
expect_line '^msg WM_SIZE wparam=0 lo=640 hi=480$'
expect_line '^client 640 480$'

# Seen from the X server: the window is the client area, the chosen size.
find_window "$WINDOW_TITLE"
window=$WINDOW_ID
read -r x y w h <<<"$(window_geometry "$window")"
[ "$w" = 640 ] && [ "$h" = 480 ] || fail "client area ${w}x${h}"

close_window "$window"
wait_line '^msg WM_CLOSE '
wait_line '^exit$'
wait_exit
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
expect_line '^done$'
if grep -q "Velta FrameWork Error" "$ERR"; then
    fail "unexpected error box"
fi
echo "windowed run ok ($((SECONDS - TEST_START)) s)"

start_program TESSARO_NO_MESSAGE_BOX=1 TESSARO_DIALOG_PRESET=0,0,0
wait_line '^ready$'
expect_no_line '^dialog'
expect_line '^fwk dialogResult=0 width=320 height=240 bits=16 fullscreen=0 playSounds=0 done=0$'
expect_line '^client 320 240$'
find_window "$WINDOW_TITLE"
press "$WINDOW_ID" Escape
wait_exit
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
pass
