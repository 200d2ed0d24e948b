#!/usr/bin/env bash
# Enter confirms the defaults on a 640 x 480 screen: 640 x 480, 16 bits, full
# screen, no sound; the display switch succeeds and the window covers the
# screen. Escape ends the loop with status 0 and the tear-down, run twice,
# reports nothing and leaves no device context behind.
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"

start_program
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
press "$WINDOW_ID" Return
wait_line '^ready$'
expect_line '^OrvaneInit 1$'
expect_line '^fwk dialogResult=0 width=640 height=480 bits=16 fullscreen=1 playSounds=0 done=0$'
expect_line '^msg WM_SIZE wparam=0 lo=640 hi=480$'
expect_line '^client 640 480$'

find_window "$WINDOW_TITLE"
window=$WINDOW_ID
read -r x y w h <<<"$(window_geometry "$window")"
[ "$w" = 640 ] && [ "$h" = 480 ] && [ "$x" = 0 ] && [ "$y" = 0 ] || fail "full-screen window ${w}x${h} at $x,$y"

press "$window" Escape
wait_line '^exit$'
wait_exit
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS"
expect_line '^msg WM_KEYDOWN wparam=27 '
expect_line '^dc after kill 0$'
if grep -q "Velta FrameWork Error" "$ERR"; then
    fail "unexpected error box"
fi
pass
