#!/usr/bin/env bash
# The windowed player's keys and --watch, driven with the keyboard under Xvfb
# and judged by screenshots of its window:
# - Space pauses; Home then Right four times goes to frame 100, and the window
#   shows what `--capture --start 100` writes, and the same picture again when
#   it comes back from frame 125; I puts the frame and
#   time in the top left corner, over that same picture;
# - with --content and --watch, a texture replaced on disk shows in the paused
#   picture; a broken show.toml is reported with its line and column on
#   standard error and the last good show stays; Escape ends with status 0.
#
#   player_controls.sh PLAYER PAKQDZ ARCHIVE
# Runs inside xvfb-run -s "-screen 0 1024x768x24".
set -uo pipefail

PLAYER="$1"
PAKQDZ="$2"
ARCHIVE="$3"
source "$(dirname "$0")/player_lib.sh"
start_window_manager

# The smallest mode: 320 x 240 pictures.
MODE=(--windowed --mode 4 --fixed-step 40)

shot() { import -window "$WINDOW" "$WORK/$1.png" 2>/dev/null; }
# differing PNG PNG [GEOMETRY]: pixels that differ (in the part given).
differing() {
    local crop=()
    [ $# -gt 2 ] && crop=(-crop "$3" +repage)
    convert "$1" "${crop[@]}" "$WORK/a.ppm" && convert "$2" "${crop[@]}" "$WORK/b.ppm" &&
        compare -metric AE "$WORK/a.ppm" "$WORK/b.ppm" null: 2>&1 | cut -d' ' -f1
}
# level PNG FX GEOMETRY: a measure (maxima, mean...) of a channel expression.
level() { convert "$1" -crop "$3" +repage -format "%[fx:int(255*$2)]" info:; }

key() {
    xdotool windowactivate --sync "$WINDOW" 2>/dev/null
    xdotool key "$1"
}
# wait_player WHAT REGEX: a "player WHAT ..." line matching REGEX appears.
wait_player() {
    have() { grep -Eq "^player $1 .*$2" "$OUT"; }
    until_true 60 have "$1" "$2" || fail "no 'player $1' line matching '$2'"
}
# The number of "player" lines so far, to wait for the next one.
reports() { grep -c '^player ' "$OUT"; }
wait_reports() {
    more() { [ "$(reports)" -ge "$1" ]; }
    until_true 60 more "$1" || fail "the player did not answer key $2"
}
press() {
    local before
    before=$(reports)
    key "$1"
    wait_reports $((before + 1)) "$1"
}

# --- seeking --------------------------------------------------------------------

"$PLAYER" --capture "$WORK/capture" --pak "$ARCHIVE" --mode 4 --start 100 --frames 1 >/dev/null 2>&1 ||
    fail "capture of frame 100"

start_player --pak "$ARCHIVE" "${MODE[@]}"
wait_window
frames_drawn() { grep -Eq "frames=([2-9][0-9]|[0-9]{3,})" "$OUT"; }
until_true 120 frames_drawn || fail "the show does not advance"

press space
wait_player pause "paused=1"
press Home
press Right
press Right
press Right
press Right
wait_player seek "frame=100 paused=1"
until_true 10 shot seek || fail "no screenshot"
# The window's depth buffer has 24 bits where the capture's has 16, which
# moves a few pixels where the chrome pass meets its letters (a capture at 24
# bits matches the window exactly); the neighbouring frames differ from frame
# 100 in thousands of pixels.
n=$(differing "$WORK/seek.png" "$WORK/capture/frame_00100.png")
[ "$n" -le 80 ] || {
    cp "$WORK/seek.png" "${TMPDIR:-/tmp}/tessaro_seek_fail.png"
    fail "frame 100 reached by keys differs from the capture in $n pixels"
}
# The same frame reached the other way, from a second later, is the same picture.
press Right
press Left
wait_player seek "frame=100 paused=1"
shot again
[ "$(differing "$WORK/seek.png" "$WORK/again.png")" = 0 ] || fail "frame 100 from 125 differs from frame 100 from 75"

press i
wait_player corner "frame=100 paused=1 corner=1"
shot corner
# The text is white on a dark band at the top left; the rest is the picture.
[ "$(level "$WORK/corner.png" minima 60x8+8+6)" -lt 40 ] || fail "no dark band in the corner"
[ "$(level "$WORK/corner.png" maxima 60x8+8+6)" = 255 ] || fail "no white text in the corner"
n=$(differing "$WORK/corner.png" "$WORK/seek.png" 320x200+0+40)
[ "$n" = 0 ] || fail "the corner text changed the picture below it ($n pixels)"
cp "$WORK/corner.png" "${TMPDIR:-/tmp}/tessaro_corner_last.png"

press space
wait_player pause "paused=0"
advanced() { grep -Eq "^loop .*frames=([4-9][0-9]|[0-9]{3,})" "$OUT"; }
until_true 60 advanced || fail "the show does not go on after the pause"
key Escape
wait_exit
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the seeking"

# --- --watch ------------------------------------------------------------------------

mkdir "$WORK/content"
"$PAKQDZ" extract "$ARCHIVE" -C "$WORK/content" >/dev/null || fail "cannot unpack the archive"
start_player --content "$WORK/content" --watch "${MODE[@]}"
wait_window
until_true 120 frames_drawn || fail "the show from the folder does not advance"
press space
press Home
press Right
press Right
press Right
press Right
press Right
press Right
wait_player seek "frame=150 paused=1"
shot before

# The logo's sky turns red: a new file, written beside and moved over the old,
# as an editor saves.
convert -size 128x128 xc:'#ff0000' "$WORK/red.jpg"
mv "$WORK/red.jpg" "$WORK/content/skyside.jpg"
wait_player reloaded "frame=150 paused=1"
shot after
red() { level "$1" "mean*(r>0.8)*(g<0.2)" 320x100+0+0; }
[ "$(red "$WORK/after.png")" -gt "$(red "$WORK/before.png")" ] || fail "the new texture does not show"
[ "$(differing "$WORK/before.png" "$WORK/after.png")" -gt 1000 ] || fail "the picture did not change"
cp "$WORK/after.png" "${TMPDIR:-/tmp}/tessaro_watch_last.png"

# A broken show file: reported where it is broken, the last good show stays.
sed -i 's/do = "finish"/do = "finnish"/' "$WORK/content/show.toml"
wait_player kept "frame=150 paused=1"
grep -Eq '^tessaro: show\.toml:[0-9]+:[0-9]+: .*finnish' "$ERR" || fail "no file:line:column message for the bad show"
shot kept
[ "$(differing "$WORK/after.png" "$WORK/kept.png")" = 0 ] || fail "the last good show is not the one shown"

key Escape
wait_exit
[ "$STATUS" = 0 ] || fail "exit status $STATUS after the watching"
echo "ok"
