#!/usr/bin/env bash
# Dialog 103 as a person sees it, read back from the real controls: caption,
# every control with its exact text, the eight modes with their blanks, index
# 1 selected, "FullScreen Mode" checked, "Enter iperspace" the default button,
# the logo drawn, the dialog centred on the 1024 x 768 desktop. Then Escape
# and the close box each cancel it: OrvaneInit 0, dialogResult -1, no window,
# no error box.
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"

check_cancelled() {
    wait_line '^exit$'
    expect_line '^OrvaneInit 0$'
    expect_line '^fwk dialogResult=-1 .* done=1$'
    expect_no_line '^msg WM_CREATE'
    if grep -q "Velta FrameWork Error" "$ERR"; then
        fail "cancelling showed an error box"
    fi
    wait_exit
    [ "$EXIT_STATUS" = 1 ] || fail "exit status $EXIT_STATUS"
}

start_program
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

# Every control at its dialog-unit rectangle, converted with the dialog's base units.
IFS='|' read -r _ ux uy _ <<<"$(grep '^units|' "$OUT")"
while IFS='|' read -r kind text rect; do
    IFS=, read -r x y w h <<<"$rect"
    want="$(((x * ux + 2) / 4)),$(((y * uy + 4) / 8)),$(((w * ux + 2) / 4)),$(((h * uy + 4) / 8))"
    got=$(grep -F -- "$kind|$text" "$OUT" | head -1 | cut -d'|' -f3)
    [ "$got" = "$want" ] || fail "$kind '$text' at $got, not at $want"
done <<'TABLE'
group|Setting |7,55,213,55
static|Resolution :|17,65,48,8
check|Play Sounds|19,95,55,10
check|FullScreen Mode|119,95,69,10
group|Orvane Team |7,115,105,32
group|Note : |115,115,105,58
static|Please help us testing|121,128,92,42
button|Enter iperspace|7,152,104,21
link|http|7,177,213,20
TABLE

# The X window is the client area; the whole dialog, frame included, is centred.
IFS=, read -r dw dh <<<"$(grep '^dialog|' "$OUT" | cut -d'|' -f3)"
read -r x y w h <<<"$(window_geometry "$dialog")"
[ "$w" = "$dw" ] && [ "$h" = "$dh" ] || fail "dialog is ${w}x${h}, reported ${dw}x${dh}"
IFS=, read -r wx wy ww wh <<<"$(grep '^window|' "$OUT" | cut -d'|' -f2)"
[ "$wx" = $(((1024 - ww) / 2)) ] && [ "$wy" = $(((768 - wh) / 2)) ] || fail "dialog at $wx,$wy (${ww}x${wh})"

# The logo is drawn: its band is not one flat colour.
IFS=, read -r lx ly lw lh <<<"$(grep '^image|' "$OUT" | cut -d'|' -f3)"
colours=$(convert "$WORK/dialog.png" -crop "${lw}x${lh}+$((x + lx))+$((y + ly))" -unique-colors -format '%w' info:)
[ "$colours" -gt 10 ] || fail "logo has $colours colours"

press "$dialog" Escape
check_cancelled
echo "escape cancels ($((SECONDS - TEST_START)) s)"

start_program
wait_line '^dialog-ready$'
find_window "$DIALOG_CAPTION"
close_window "$WINDOW_ID"
check_cancelled
pass
