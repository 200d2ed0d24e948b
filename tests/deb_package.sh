#!/usr/bin/env bash
# The Debian package as a user gets it: built with CPack from the build tree,
# its file list exactly the installed layout, its dependencies computed from
# the linked libraries, unpacked into a scratch root and the unpacked player
# started from another folder, where it finds its installed archive (and
# prefers one in the current directory). lintian, where installed, reports
# no errors and no warnings.
#
#   deb_package.sh BUILD_DIR
set -uo pipefail

BUILD="$1"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$BUILD/CPackConfig.cmake" -G DEB -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log"; fail "cpack failed"; }
deb=$(ls "$WORK"/out/tessaro_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package made"

# Exactly these files, nothing from the tests or tools.
triplet=$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)
expected="./usr/bin/tessaro
./usr/lib/$triplet/tessaro/liblumora.so
./usr/share/applications/tessaro.desktop
./usr/share/doc/tessaro/changelog.gz
./usr/share/doc/tessaro/copyright
./usr/share/icons/hicolor/128x128/apps/tessaro.png
./usr/share/icons/hicolor/256x256/apps/tessaro.png
./usr/share/icons/hicolor/32x32/apps/tessaro.png
./usr/share/icons/hicolor/48x48/apps/tessaro.png
./usr/share/icons/hicolor/64x64/apps/tessaro.png
./usr/share/man/man1/tessaro.1.gz
./usr/share/tessaro/pako.qdz"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$actual" = "$expected" ] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$actual"))"

# Dependencies from the libraries the player and its framework link.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libsdl2-2.0-0 libgtk-3-0 libopenmpt0 libjpeg62-turbo libpng16-16 libc6; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

# The menu entry starts the player with its dialog.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/tessaro.desktop >"$WORK/tessaro.desktop"
grep -qx 'Exec=tessaro' "$WORK/tessaro.desktop" || fail "menu entry does not start plain tessaro"
grep -qx 'Icon=tessaro' "$WORK/tessaro.desktop" || fail "menu entry has no icon"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$WORK/tessaro.desktop" || fail "menu entry not valid"
fi

# Unpacked anywhere, started from another folder: it finds its own archive.
dpkg -x "$deb" "$WORK/root" || fail "dpkg -x failed"
mkdir -p "$WORK/elsewhere"
cd "$WORK/elsewhere" || fail "no scratch folder"
TESSARO_NO_MESSAGE_BOX=1 "$WORK/root/usr/bin/tessaro" --capture frames --frames 1 >"$WORK/run.log" 2>&1 ||
    { cat "$WORK/run.log"; fail "the unpacked player did not play"; }
[ -s frames/frame_00000.png ] || fail "no frame written"

# An archive in the current directory comes first: a broken one is reported.
echo "not an archive" >pako.qdz
TESSARO_NO_MESSAGE_BOX=1 "$WORK/root/usr/bin/tessaro" --capture frames2 --frames 1 >"$WORK/run2.log" 2>&1 &&
    fail "a broken archive in the current directory was passed over"
grep -q "Impossibile trovare il PAKFile" "$WORK/run2.log" || { cat "$WORK/run2.log"; fail "wrong error"; }

if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$WORK/lintian.log" 2>&1 ||
        { cat "$WORK/lintian.log"; fail "lintian reports problems"; }
else
    echo "lintian not installed: skipped"
fi
echo "ok"
