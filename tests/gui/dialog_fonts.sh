#!/usr/bin/env bash
# The dialog at several desktop font sizes, a person's screenshot in hand:
# every control sits at its resource rectangle converted with the base units
# the dialog reports (so the relative layout is the resource's), no control
# had to grow past its rectangle, every text is drawn inside its rectangle, and
# the strip between a text and the frame or control below it is empty (the
# contact line does not sit on the "Note : " frame).
source "$(dirname "$0")/gui_lib.sh" "$1"

# kind|text|x,y,w,h in dialog units, as the resource gives them.
controls="image||7,7,213,43
group|Setting |7,55,213,55
group|Orvane Team |7,115,105,32
group|Note : |115,115,105,58
static|Resolution :|17,65,48,8
combo||17,76,192,14
check|Play Sounds|19,95,55,10
check|FullScreen Mode|119,95,69,10
static|Engine, code and art|13,125,82,19
static|Please help us testing|121,128,92,42
button|Enter iperspace|7,152,104,21
link|http|7,177,213,20"

# kind|text|bottom: texts and the dialog-unit line below them (the top of the
# next control or the bottom of the frame around them) that they must stay above.
texts="static|Resolution :|76
check|Play Sounds|110
check|FullScreen Mode|110
static|Engine, code and art|147
static|Please help us testing|173"

dux() { echo $((($1 * UX + 2) / 4)); }
duy() { echo $((($1 * UY + 4) / 8)); }

# dark_pixels X Y W H: how many pixels of the screenshot's rectangle are text-dark.
dark_pixels() {
    convert "$SHOT" -crop "$3x$4+$1+$2" +repage -colorspace gray -threshold 55% -negate \
        -format '%[fx:round(mean*w*h)]' info:
}

# control_line KIND TEXT: the dump's line for the control whose text starts with TEXT.
control_line() {
    grep -F -- "$1|$2" "$OUT" | head -1
}

check_font() {
    local font="$1"
    local config="$WORK/config${font// /}"
    mkdir -p "$config/gtk-3.0"
    if [ -n "$font" ]; then
        printf '[Settings]\ngtk-font-name=%s\n' "$font" >"$config/gtk-3.0/settings.ini"
    fi
    start_probe XDG_CONFIG_HOME="$config"
    wait_line '^dialog-ready$'
    find_window "$DIALOG_CAPTION"
    local dialog=$WINDOW_ID
    SHOT="$WORK/dialog${font// /}.png"
    import -window root "$SHOT" || fail "no screenshot"

    local units
    units=$(grep '^units|' "$OUT") || fail "no base units"
    IFS='|, ' read -r _ UX UY _ FX FY <<<"$units"
    [ "$UX" -ge "$FX" ] && [ "$UY" -ge "$FY" ] || fail "[$font] units $UX,$UY below the font's $FX,$FY"
    expect_line "^dialog\|.*\|$(dux 228),$(duy 206)$"

    local kind text rect x y w h line
    while IFS='|' read -r kind text rect; do
        IFS=, read -r x y w h <<<"$rect"
        line=$(control_line "$kind" "$text")
        [ -n "$line" ] || fail "[$font] no $kind '$text'"
        [ "$(echo "$line" | cut -d'|' -f3)" = "$(dux "$x"),$(duy "$y"),$(dux "$w"),$(duy "$h")" ] \
            || fail "[$font] $kind '$text' at $(echo "$line" | cut -d'|' -f3), not at its rectangle"
    done <<<"$controls"

    local ox oy ow oh bottom gap
    read -r ox oy ow oh <<<"$(window_geometry "$dialog")"
    while IFS='|' read -r kind text bottom; do
        line=$(control_line "$kind" "$text")
        IFS=, read -r x y w h <<<"$(echo "$line" | cut -d'|' -f3)"
        [ "$(dark_pixels $((ox + x)) $((oy + y)) "$w" "$h")" -gt 20 ] || fail "[$font] $kind '$text' draws no text"
        # The strip below, short of the line the frame or the next control draws.
        gap=$(($(duy "$bottom") - y - h - 2))
        [ "$gap" -gt 0 ] || fail "[$font] no room under $kind '$text'"
        [ "$(dark_pixels $((ox + x)) $((oy + y + h)) "$w" "$gap")" = 0 ] \
            || fail "[$font] $kind '$text' runs over the $gap pixels under it"
    done <<<"$texts"

    press "$dialog" Escape
    wait_line '^exit$'
    wait_exit
    echo "ok: font '${font:-GTK default}' units $UX,$UY (font $FX,$FY)"
}

# GTK's default (Sans 10), a larger desktop font, and a small one whose
# check boxes would not fit at the font's own units.
check_font ""
check_font "Sans 14"
check_font "Sans 6"
echo "ok"
