#!/usr/bin/env bash
# The default 640 x 480 full-screen mode does not exist on a 1024 x 768
# virtual screen: the error box appears with its message (also on standard
# error), full screen is cleared, OrvaneInit returns 0 and no window is made.
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"

start_program
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
press "$WINDOW_ID" Return

find_window "Velta FrameWork Error"
box=$WINDOW_ID
wait_line "^Velta FrameWork Error: This Drivers Doesn't Support FullScreen Mode\. Try to Download a newer one or change your video card\.$" 10 "$ERR"
grep -q "^Please use Windowed mode\.$" "$ERR" || fail "second line missing"
grep -q "^NOTE : if you have a 3dfx accelerated video card you can try windowed mode\. In this case with some drivers you will obtain fullscreen accelerated 3D graphic\.$" "$ERR" \
    || fail "note missing"
expect_no_line '^OrvaneInit'
press "$box" Return

wait_line '^exit$'
expect_line '^OrvaneInit 0$'
expect_line '^fwk dialogResult=0 width=640 height=480 bits=16 fullscreen=0 playSounds=0 done=1$'
expect_no_line '^msg WM_CREATE'
wait_exit
[ "$EXIT_STATUS" = 1 ] || fail "exit status $EXIT_STATUS"
[ "$(grep -c 'Velta FrameWork Error' "$ERR")" = 1 ] || fail "more than one error box"
pass
