#!/usr/bin/env bash
# A windowed run: choose "640x480   32 Bit" with sound and without full screen,
# then check the messages the window procedure receives: creation, a resize
# reaching ReSizeGLScene, minimise and restore through WM_ACTIVATE, keys with
# their virtual-key codes, and the close box ending the loop.
source "$(dirname "$0")/gui_lib.sh" "$1"

start_probe TESSARO_NO_MESSAGE_BOX=1
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
click_control check "FullScreen Mode" "$dialog"
click_control check "Play Sounds" "$dialog"
# Index 1 is selected; four steps down is index 5.
before=$(viewable_windows)
click_control combo "" "$dialog"
wait_more_windows "$before"
xdotool key --delay 80 Down Down Down Down Return
press "$dialog" Return
wait_line '^ready$'
expect_line '^OrvaneInit 1$'
expect_line '^fwk dialogResult=0 width=640 height=480 bits=32 fullscreen=0 playSounds=1 done=0$'

# WM_CREATE comes first, then the first WM_SIZE with the client size.
first=$(grep -m1 '^msg ' "$OUT")
[ "$first" = "msg WM_CREATE wparam=0 lo=0 hi=0" ] || fail "first message: $first"
second=$(grep '^msg ' "$OUT" | sed -n 2p)
[ "$second" = "msg WM_SIZE wparam=0 lo=640 hi=480" ] || fail "second message: $second"

# The client area is exactly the chosen size, centred by the probe on WM_CREATE.
find_window "$WINDOW_TITLE"
window=$WINDOW_ID
read -r x y w h <<<"$(window_geometry "$window")"
[ "$w" = 640 ] && [ "$h" = 480 ] || fail "client area ${w}x${h}"
[ "$x" = 192 ] && [ "$y" = 144 ] || fail "window at $x,$y"

xdotool windowsize "$window" 400 300
wait_line '^msg WM_SIZE wparam=0 lo=400 hi=300$'
wait_line '^viewport 0 0 400 300$'

# Minimise (a window manager unmaps an iconified window) and restore.
xdotool windowunmap "$window"
wait_line '^msg WM_ACTIVATE wparam=65536 '
wait_line '^active 0$'
xdotool windowmap "$window"
wait_line_after '^active 0$' '^msg WM_SIZE wparam=0 lo=400 hi=300$'
wait_line_after '^active 0$' '^msg WM_ACTIVATE wparam=1 '
wait_line_after '^active 0$' '^active 1$'

press "$window" a 5 space Return Left F1 F12
for vk in 65 53 32 13 37 112 123; do
    wait_line "^msg WM_KEYDOWN wparam=$vk "
    wait_line "^msg WM_KEYUP wparam=$vk "
done

"$XCLIENT" close "$window" || fail "cannot send the close request"
wait_line '^msg WM_CLOSE '
wait_line '^exit$'
wait_exit
status=$EXIT_STATUS
[ "$status" = 0 ] || fail "probe exit status $status"
expect_line '^done$'
if grep -q "Velta FrameWork Error" "$ERR"; then
    fail "unexpected error box"
fi
echo "ok"
