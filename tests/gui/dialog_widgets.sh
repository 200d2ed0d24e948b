#!/usr/bin/env bash
# The dialog as a person sees it: caption, every control with its exact text,
# the eight modes with their blanks, the starting states, the default button,
# its place on the desktop and its logo. The layout at several font sizes is
# dialog_fonts.sh's.
source "$(dirname "$0")/gui_lib.sh" "$1"

start_probe
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
import -window root "$WORK/dialog.png" || fail "no screenshot"

expect_line '^dialog\|Velta Engine Beta 0\.1 - Orvane Team\|[0-9]+,[0-9]+$'
expect_line '^image\|\|[0-9,]+\|$'
expect_line '^group\|Setting \|[0-9,]+\|$'
expect_line '^static\|Resolution :\|[0-9,]+\|$'
expect_line '^combo\|\|[0-9,]+\|selected=1$'
expect_line '^check\|Play Sounds\|[0-9,]+\|unchecked$'
expect_line '^check\|FullScreen Mode\|[0-9,]+\|checked$'
expect_line '^group\|Orvane Team \|[0-9,]+\|$'
expect_line '^group\|Note : \|[0-9,]+\|$'
expect_line '^static\|Please help us testing our 3d Engine\.\\nMail us about bugs, frame rate, and your suggestions\.\\n.+\|[0-9,]+\|$'
expect_line '^button\|Enter iperspace\|[0-9,]+\|default$'
expect_line '^link\|http.+\|[0-9,]+\|$'
index=0
for mode in "320x240   16 Bit" "640x480   16 Bit" "800x600   16 Bit" "1024x768  16 Bit" \
            "320x240   32 Bit" "640x480   32 Bit" "800x600   32 Bit" "1024x768  32 Bit"; do
    grep -qxF "item|$mode|$index" "$OUT" || fail "mode $index is not '$mode'"
    index=$((index + 1))
done
[ "$(grep -c '^item|' "$OUT")" = 8 ] || fail "the list does not hold 8 modes"

# Centred on the 1024 x 768 desktop.
IFS=, read -r dw dh <<<"$(grep '^dialog|' "$OUT" | cut -d'|' -f3)"
read -r x y w h <<<"$(window_geometry "$dialog")"
[ "$w" = "$dw" ] && [ "$h" = "$dh" ] || fail "dialog is ${w}x${h}, reported ${dw}x${dh}"
[ "$x" = $(((1024 - dw) / 2)) ] && [ "$y" = $(((768 - dh) / 2)) ] || fail "dialog at $x,$y"

# The logo is drawn: its band is not one flat colour.
IFS=, read -r lx ly lw lh <<<"$(grep '^image|' "$OUT" | cut -d'|' -f3)"
colours=$(convert "$WORK/dialog.png" -crop "${lw}x${lh}+$((x + lx))+$((y + ly))" -unique-colors -format '%w' info:)
[ "$colours" -gt 10 ] || fail "logo has $colours colours"

press "$dialog" Escape
wait_line '^exit$'
wait_exit
echo "ok"
