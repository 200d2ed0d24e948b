#!/usr/bin/env bash
# The default 640 x 480 full-screen mode does not exist on a 1024 x 768
# virtual screen, and full screen never switches the mode anyway: the window
# covers the whole screen, the program is told of a 640 x 480 client (the
# picture it draws, scaled up by the library), no error box appears, and
# Escape ends the run.
source "$(dirname "$0")/gui_lib.sh" "$1"

start_probe TESSARO_NO_MESSAGE_BOX=1
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
press "$dialog" Return
wait_line '^ready$'
expect_line '^OrvaneInit 1$'
expect_line '^fwk dialogResult=0 width=640 height=480 bits=16 fullscreen=1 playSounds=0 done=0$'
expect_line '^msg WM_SIZE wparam=0 lo=640 hi=480$'
expect_no_line '^msg WM_SIZE wparam=0 lo=1024'
expect_line '^viewport after init 0 0 640 480$'

find_window "$WINDOW_TITLE"
window=$WINDOW_ID
read -r x y w h <<<"$(window_geometry "$window")"
[ "$w" = 1024 ] && [ "$h" = 768 ] || fail "full-screen window is ${w}x${h}"
[ "$x" = 0 ] && [ "$y" = 0 ] || fail "full-screen window at $x,$y"

press "$window" Escape
wait_line '^exit$'
wait_exit
status=$EXIT_STATUS
[ "$status" = 0 ] || fail "probe exit status $status"
if grep -q "Velta FrameWork Error" "$ERR"; then
    fail "unexpected error box"
fi
echo "ok"
