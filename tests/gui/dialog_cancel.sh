#!/usr/bin/env bash
# Escape and the close box cancel the dialog: OrvaneInit returns 0 with
# dialogResult -1, no window is created and no error box is shown.
source "$(dirname "$0")/gui_lib.sh" "$1"

check_cancelled() {
    wait_line '^exit$'
    expect_line '^OrvaneInit 0$'
    expect_line '^fwk dialogResult=-1 .* done=1$'
    expect_no_line '^msg WM_CREATE'
    if grep -q "Velta FrameWork Error" "$ERR"; then
        fail "cancelling showed an error box"
    fi
    wait_exit
    status=$EXIT_STATUS
    [ "$status" = 1 ] || fail "probe exit status $status"
}

# Escape.
start_probe
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
press "$dialog" Escape
check_cancelled

# The close box: what the window manager sends when it is clicked.
start_probe
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
"$XCLIENT" close "$dialog" || fail "cannot send the close request"
check_cancelled
echo "ok"
