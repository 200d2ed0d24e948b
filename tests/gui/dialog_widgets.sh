#!/usr/bin/env bash
# The dialog as a person sees it: caption, every control with its exact text,
# the eight modes with their blanks, the starting states, the default button
# and the layout converted from dialog units (6 x 13 pixels per 4 x 8 units).
source "$(dirname "$0")/gui_lib.sh" "$1"

start_probe
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
dialog=$WINDOW_ID
import -window root "$WORK/dialog.png" || fail "no screenshot"

expect_line '^dialog\|Velta Engine Beta 0\.1 - Orvane Team\|342,335$'
expect_line '^image\|\|11,11,320,70\|$'
expect_line '^group\|Setting \|11,89,320,89\|$'
expect_line '^static\|Resolution :\|26,106,72,13\|$'
expect_line '^combo\|\|26,124,288,[0-9]+\|selected=1$'
expect_line '^check\|Play Sounds\|29,154,[0-9]+,[0-9]+\|unchecked$'
expect_line '^check\|FullScreen Mode\|179,154,[0-9]+,[0-9]+\|checked$'
expect_line '^group\|Orvane Team \|11,187,158,52\|$'
expect_line '^group\|Note : \|173,187,158,94\|$'
expect_line '^static\|Please help us testing our 3d Engine\.\\nMail us about bugs, frame rate, and your suggestions\.\\n.+\|182,208,'
expect_line '^button\|Enter iperspace\|11,247,156,34\|default$'
expect_line '^link\|http.+\|11,288,320,33\|$'
index=0
for mode in "320x240   16 Bit" "640x480   16 Bit" "800x600   16 Bit" "1024x768  16 Bit" \
            "320x240   32 Bit" "640x480   32 Bit" "800x600   32 Bit" "1024x768  32 Bit"; do
    grep -qxF "item|$mode|$index" "$OUT" || fail "mode $index is not '$mode'"
    index=$((index + 1))
done
[ "$(grep -c '^item|' "$OUT")" = 8 ] || fail "the list does not hold 8 modes"

# Centred on the 1024 x 768 desktop.
read -r x y w h <<<"$(window_geometry "$dialog")"
[ "$x" = $(((1024 - 342) / 2)) ] && [ "$y" = $(((768 - 335) / 2)) ] || fail "dialog at $x,$y"

# The logo is drawn: its band is not one flat colour.
colours=$(convert "$WORK/dialog.png" -crop "320x70+$((x + 11))+$((y + 11))" -unique-colors -format '%w' info:)
[ "$colours" -gt 10 ] || fail "logo has $colours colours"

press "$dialog" Escape
wait_line '^exit$'
wait_exit
echo "ok"
