#!/usr/bin/env bash
# The show full screen at the monitor's own resolution (--desktop) on a
# 1920 x 1080 screen: the window covers the screen, the screen keeps its size
# (no mode switch), the show draws at 1440 x 1080, a screenshot shows its
# picture centred between black bars, and Escape ends with status 0.
# Usage: player_desktop.sh PREFIX TESSARO.EXE PAKO.QDZ
source "$(dirname "$0")/wine_lib.sh" "$1" "$2"
archive="$3"
[ -f "$archive" ] || fail "no archive at $archive"

screen_size() { xdpyinfo | awk '/dimensions:/ {print $2}'; }
[ "$(screen_size)" = 1920x1080 ] || fail "screen is $(screen_size)"

start_program TESSARO_NO_MESSAGE_BOX=1 TESSARO_TRACE_LOOP=1 -- --pak "$archive" --desktop --fixed-step 40
wait_line '^loop passes=[0-9]+ frames=([6-9][0-9]|[0-9]{3,}) active=1$' 120
expect_line '^settings width=1440 height=1080 bits=16 fullscreen=1 sound=0$'
find_window "$WINDOW_TITLE"
window=$WINDOW_ID
read -r x y w h <<<"$(window_geometry "$window")"
[ "$w" = 1920 ] && [ "$h" = 1080 ] && [ "$x" = 0 ] && [ "$y" = 0 ] || fail "window ${w}x${h} at $x,$y"
[ "$(screen_size)" = 1920x1080 ] || fail "the screen's mode was switched to $(screen_size)"

# level maxima|mean GEOMETRY: the brightest / mean grey level (0..255) of a part of the shot.
level() { convert "$WORK/shot.png" -crop "$2" +repage -colorspace Gray -format "%[fx:int(255*$1)]" info:; }
picture_lit() {
    import -window root "$WORK/shot.png" 2>/dev/null || return 1
    local left right
    left=$(level maxima 240x1080+0+0)
    right=$(level maxima 240x1080+1680+0)
    [ "$left" = 0 ] && [ "$right" = 0 ] || fail "bars not black: left max $left, right max $right"
    [ "$(level mean 1440x1080+240+0)" -ge 8 ] &&
        [ "$(level maxima 8x1080+240+0)" -gt 0 ] && [ "$(level maxima 8x1080+1672+0)" -gt 0 ] &&
        [ "$(level maxima 1440x8+240+0)" -gt 0 ] && [ "$(level maxima 1440x8+240+1072)" -gt 0 ]
}
deadline=$((SECONDS + 60))
until picture_lit; do
    [ $SECONDS -lt $deadline ] || fail "no lit picture between the bars"
    sleep 0.2
done

timeout 5 xdotool windowfocus --sync "$window" || fail "cannot focus the window"
xdotool keydown Escape
wait_exit 30
xdotool keyup Escape
[ "$EXIT_STATUS" = 0 ] || fail "exit status $EXIT_STATUS after Escape"
if grep -Eq "Velta (FrameWork )?[Ee]rror" "$ERR"; then
    fail "unexpected error box"
fi
pass
