#!/usr/bin/env bash
# The real player full screen on a 1920 x 1080 X screen with a window manager,
# as a person sees it: the window covers the screen, a screenshot shows the
# show's 4:3 picture centred (1440 x 1080 from x = 240) between black bars,
# the cursor is hidden while it plays and back afterwards, and Escape ends
# with status 0.
#
#   player_fills_screen.sh PLAYER XCLIENT ARCHIVE OPTION...
# Runs inside xvfb-run -s "-screen 0 1920x1080x24".
set -uo pipefail

PLAYER="$1"
XCLIENT="$2"
ARCHIVE="$3"
shift 3
source "$(dirname "$0")/player_lib.sh"
start_window_manager

[ "$("$XCLIENT" cursor)" = "cursor visible" ] || fail "cursor hidden before the start"

start_player --pak "$ARCHIVE" --fixed-step 40 "$@"
wait_window

covers_screen() {
    local geometry
    geometry=$(xwininfo -id "$WINDOW" 2>/dev/null)
    grep -q 'Absolute upper-left X:  0$' <<<"$geometry" && grep -q 'Absolute upper-left Y:  0$' <<<"$geometry" &&
        grep -q 'Width: 1920$' <<<"$geometry" && grep -q 'Height: 1080$' <<<"$geometry"
}
until_true 30 covers_screen || fail "window does not cover the screen: $(xwininfo -id "$WINDOW" | grep -E 'Absolute|Width|Height' | tr -s ' \n' ' ')"

# Some frames into the show, so that the picture has something bright.
frames_drawn() { grep -Eq "frames=([6-9][0-9]|[0-9]{3,})" "$OUT"; }
until_true 120 frames_drawn || fail "the show does not advance"

# crop_max / crop_mean GEOMETRY: the brightest / mean grey level (0..255) of a
# part of the shot.
level() { convert "$WORK/shot.png" -crop "$2" +repage -colorspace Gray -format "%[fx:int(255*$1)]" info:; }

# A screenshot whose picture is lit; the bars must be black in every one taken.
picture_lit() {
    import -window root "$WORK/shot.png" 2>/dev/null || return 1
    local left right
    left=$(level maxima 240x1080+0+0)
    right=$(level maxima 240x1080+1680+0)
    if [ "$left" != 0 ] || [ "$right" != 0 ]; then
        cp "$WORK/shot.png" "${TMPDIR:-/tmp}/tessaro_fill_screen_fail.png"
        fail "bars not black: left max $left, right max $right"
    fi
    cp "$WORK/shot.png" "${TMPDIR:-/tmp}/tessaro_fill_screen_last.png"
    # Lit on the whole, and out to each of its four edges: the picture is
    # scaled to fill the space between the bars, not drawn in a corner.
    [ "$(level mean 1440x1080+240+0)" -ge 8 ] &&
        [ "$(level maxima 8x1080+240+0)" -gt 0 ] && [ "$(level maxima 8x1080+1672+0)" -gt 0 ] &&
        [ "$(level maxima 1440x8+240+0)" -gt 0 ] && [ "$(level maxima 1440x8+240+1072)" -gt 0 ]
}
until_true 60 picture_lit || fail "no lit picture between the bars"

[ "$("$XCLIENT" cursor)" = "cursor hidden" ] || fail "cursor shown while the show plays full screen"

xdotool windowactivate --sync "$WINDOW" 2>/dev/null
xdotool keydown Escape
wait_exit
xdotool keyup Escape
[ "$STATUS" = 0 ] || fail "exit status $STATUS"
cursor_back() { test "$("$XCLIENT" cursor)" = "cursor visible"; }
until_true 10 cursor_back || fail "cursor not back after the end"
echo "ok"
