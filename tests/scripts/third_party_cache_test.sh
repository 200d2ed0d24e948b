#!/usr/bin/env bash
# The third-party cache (scripts/lib/third_party_cache.sh) uses an entry only
# when it is whole: each case below damages a committed entry, or leaves a
# build half-done, and the entry must then count as missing. A changed key
# names another entry; the assembled prefix follows the entries it is made of.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/lib/third_party_cache.sh
source "$here/scripts/lib/third_party_cache.sh"
TESSARO_CACHE_DIR=$(mktemp -d)
export TESSARO_CACHE_DIR
trap 'rm -rf "$TESSARO_CACHE_DIR"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# make_entry KEY: a committed entry with a library and a header; prints its folder.
make_entry() {
    local entry out
    entry=$(tp_entry test lib "$1")
    out=$(tp_begin "$entry")
    mkdir -p "$out/lib" "$out/include"
    printf 'archive %s' "$1" >"$out/lib/liba.a"
    printf '#define A 1\n' >"$out/include/a.h"
    tp_commit "$out" "$entry" "$1" || return 1
    echo "$entry"
}

entry=$(make_entry k1) || fail "commit failed"
tp_valid "$entry" || fail "a fresh entry is not valid"
[ "$(make_entry k1)" = "$entry" ] || fail "the same key names another entry"
[ "$(tp_entry test lib k2)" != "$entry" ] || fail "a changed key names the same entry"

# name:damage, each applied to a fresh copy of the entry.
cases=(
    "changed library:printf x >>\"\$e/lib/liba.a\""
    "emptied library:: >\"\$e/lib/liba.a\""
    "missing header:rm \"\$e/include/a.h\""
    "missing manifest:rm \"\$e/.tessaro-manifest\""
    "empty manifest:: >\"\$e/.tessaro-manifest\""
    "truncated manifest:sed -i '\$d' \"\$e/.tessaro-manifest\"; sed -i '1d' \"\$e/.tessaro-manifest\""
)
for item in "${cases[@]}"; do
    name=${item%%:*}
    damage=${item#*:}
    e="$TESSARO_CACHE_DIR/copy"
    rm -rf "$e"
    cp -a "$entry" "$e"
    tp_valid "$e" || fail "$name: the copy was already invalid"
    eval "$damage"
    if tp_valid "$e"; then
        fail "$name: the damaged entry counts as valid"
    fi
    tp_drop_invalid "$e" 2>/dev/null
    [ ! -e "$e" ] || fail "$name: the damaged entry was not removed"
done

# A build cut off before its commit leaves only a partial folder: no entry.
half=$(tp_entry test lib k3)
out=$(tp_begin "$half")
printf 'half' >"$out/liba.a"
tp_valid "$half" && fail "a half-written build counts as an entry"
[ ! -e "$half" ] || fail "a half-written build took the entry's name"

# The prefix holds the entries' files but not their bookkeeping, and is made
# again when the entries change.
second=$(make_entry k4)
prefix="$TESSARO_CACHE_DIR/prefix"
tp_assemble "$prefix" "$entry"
[ -f "$prefix/lib/liba.a" ] || fail "the prefix lacks the library"
[ ! -e "$prefix/.tessaro-manifest" ] || fail "the prefix took an entry's manifest"
tp_assemble "$prefix" "$second"
[ "$(cat "$prefix/lib/liba.a")" = "archive k4" ] || fail "the prefix kept the old entry's library"

if [ $failures -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "third-party cache: all cases hold"
