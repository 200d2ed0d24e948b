#!/usr/bin/env bash
# The player's dialog, then its ways out before the show: Escape in the
# dialog ends with "Impossibile settare le impostazioni iniziali" in the
# program's "Velta error" box and status -1, and no box of the library's; a
# missing archive ends with "Impossibile trovare il PAKFile" after the window
# is gone; a full-screen mode the display cannot switch to shows the library's
# full-screen message first.
# Usage: player_cancel.sh PREFIX TESSARO.EXE
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"

# The dialog as the player shows it, cancelled with the box on screen.
start_program
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
expect_line '^combo\|\|[0-9,]+\|selected=1$'
expect_line '^check\|FullScreen Mode\|[0-9,]+\|checked$'
[ "$(grep -c '^item|' "$OUT")" = 8 ] || fail "the list does not hold 8 modes"
press "$dialog" Escape
find_window "Velta error"
box=$WINDOW_ID
wait_line '^Velta error: Impossibile settare le impostazioni iniziali$' 10 "$ERR"
press "$box" Return
wait_exit
[ "$EXIT_STATUS" = 255 ] || fail "exit status $EXIT_STATUS after cancelling"
if grep -q "Velta FrameWork Error" "$ERR"; then
    fail "cancelling showed the library's box"
fi
echo "cancel ok ($((SECONDS - TEST_START)) s)"

# No archive: the window opens (windowed, chosen in the dialog) and is torn
# down before the box appears.
start_program -- --pak missing.qdz
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
timeout 5 xdotool windowfocus --sync "$dialog" || fail "cannot focus the dialog"
click_control check "FullScreen Mode"
press "$dialog" Return
find_window "Velta error"
box=$WINDOW_ID
wait_line '^Velta error: Impossibile trovare il PAKFile$' 10 "$ERR"
for id in $(xwininfo -root -tree | grep -F '"Velta Beta 0.1":' | awk '{print $1}'); do
    if xwininfo -id "$id" | grep -q "Map State: IsViewable"; then
        fail "the window is still up under the box"
    fi
done
press "$box" Return
wait_exit
[ "$EXIT_STATUS" = 255 ] || fail "exit status $EXIT_STATUS without the archive"
echo "missing archive ok ($((SECONDS - TEST_START)) s)"

# The default full-screen mode on a 1024 x 768 screen, from the command line,
# with the boxes on standard error only.
start_program TESSARO_NO_MESSAGE_BOX=1 -- --mode 1 --fullscreen
wait_exit
[ "$EXIT_STATUS" = 255 ] || fail "exit status $EXIT_STATUS after the refused switch"
grep -q "^Velta FrameWork Error: This Drivers Doesn't Support FullScreen Mode\." "$ERR" || fail "no full-screen message"
grep -q '^Velta error: Impossibile settare le impostazioni iniziali$' "$ERR" || fail "no settings error"
pass
