# Shared steps of the scripts that build third-party libraries from Debian's
# source packages (the Windows and browser builds). Each library is built once
# per key into a folder of the user's cache, outside any clone:
#   ${TESSARO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaro}/PLATFORM/NAME-HASH
# where HASH covers the package, its Debian source version, the compiler's
# version and the script that builds it. A folder is written under a temporary
# name and renamed once complete, with a manifest of its files' SHA-256 sums;
# an entry whose manifest is missing or does not match (half-written,
# damaged) is removed and built again, never used.
#
# Source this file; it defines the functions below and sets nothing else.

tp_cache_root() {
    echo "${TESSARO_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tessaro}"
}

# tp_sha TEXT: a short hash of TEXT.
tp_sha() {
    printf '%s' "$1" | sha256sum | cut -c1-16
}

# tp_files_sha FILE...: one hash of the files' contents, in the order given.
tp_files_sha() {
    cat "$@" | sha256sum | cut -c1-16
}

# tp_entry PLATFORM NAME KEY: the cache folder for NAME under KEY (not made).
tp_entry() {
    echo "$(tp_cache_root)/$1/$2-$(tp_sha "$3")"
}

# tp_valid DIR: true when DIR is a complete entry whose files match its manifest.
tp_valid() {
    local dir=$1
    [ -s "$dir/.tessaro-manifest" ] || return 1
    (cd "$dir" && sha256sum --quiet --strict -c .tessaro-manifest >/dev/null 2>&1) || return 1
    # Every file is listed: a file the manifest does not name was not there
    # when the entry was made.
    [ "$(cd "$dir" && find . -type f ! -name .tessaro-manifest | sort)" = "$(cut -c67- "$dir/.tessaro-manifest" | sort)" ]
}

# tp_begin DIR: prints a fresh temporary folder beside DIR to build into.
tp_begin() {
    local dir=$1
    mkdir -p "$(dirname "$dir")"
    # What a build cut off more than a day ago left behind.
    find "$(dirname "$dir")" -maxdepth 1 -name "$(basename "$dir").partial.*" -mmin +1440 -exec rm -rf {} + 2>/dev/null || true
    mktemp -d "$dir.partial.XXXXXX"
}

# tp_commit TMP DIR KEY: writes TMP's manifest and key, then renames it to DIR,
# replacing an invalid DIR. Another build that completed the same entry first
# wins; TMP is then removed.
tp_commit() {
    local tmp=$1 dir=$2 key=$3
    local manifest
    printf '%s\n' "$key" >"$tmp/.tessaro-key"
    # Written beside the folder, so that the list does not take in itself.
    manifest=$(mktemp "$tmp.manifest.XXXXXX")
    (cd "$tmp" && find . -type f ! -name .tessaro-manifest -print0 | sort -z | xargs -0 -r sha256sum) >"$manifest"
    [ -s "$manifest" ] || { rm -f "$manifest"; echo "cache: $tmp holds no files" >&2; return 1; }
    mv "$manifest" "$tmp/.tessaro-manifest"
    if [ -e "$dir" ] && ! tp_valid "$dir"; then
        rm -rf "$dir"
    fi
    if ! mv -T "$tmp" "$dir" 2>/dev/null; then
        rm -rf "$tmp"
        tp_valid "$dir"
    fi
}

# tp_drop_invalid DIR: removes DIR when it exists but is not a valid entry.
tp_drop_invalid() {
    local dir=$1
    if [ -e "$dir" ] && ! tp_valid "$dir"; then
        echo "cache: $dir is incomplete or damaged; building it again" >&2
        rm -rf "$dir"
    fi
}

# tp_assemble PREFIX ENTRY...: makes PREFIX the union of the entries' files
# (timestamps kept, so an unchanged library relinks nothing). PREFIX is made
# afresh when the set of entries changes.
tp_assemble() {
    local prefix=$1
    shift
    local stamp
    stamp=$(printf '%s\n' "$@")
    if [ -f "$prefix/.tessaro-entries" ] && [ "$(cat "$prefix/.tessaro-entries")" = "$stamp" ]; then
        return 0
    fi
    rm -rf "$prefix"
    mkdir -p "$prefix"
    local entry
    for entry in "$@"; do
        tar -C "$entry" --exclude='./.tessaro-*' -cf - . | tar -C "$prefix" -xf -
    done
    printf '%s\n' "$stamp" >"$prefix/.tessaro-entries"
}

# tp_source_versions PACKAGE: the source versions apt's lists offer, newest
# first. A mirror may list a version it cannot serve (a security suite without
# its sources, say): callers fall back to the next one.
tp_source_versions() {
    local versions=() v i j
    mapfile -t versions < <(apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -u)
    # Insertion sort by Debian's own ordering, newest first.
    for ((i = 1; i < ${#versions[@]}; i++)); do
        v=${versions[i]}
        j=$((i - 1))
        while [ $j -ge 0 ] && dpkg --compare-versions "${versions[j]}" lt "$v"; do
            versions[j + 1]=${versions[j]}
            j=$((j - 1))
        done
        versions[j + 1]=$v
    done
    [ ${#versions[@]} -gt 0 ] || { echo "cache: no source package $1 in apt's lists" >&2; return 1; }
    printf '%s\n' "${versions[@]}"
}

# tp_fetch_source PACKAGE VERSION DIR: unpacks Debian's source of PACKAGE at
# VERSION (Debian's patches applied) into DIR and prints its folder.
tp_fetch_source() {
    local package=$1 version=$2 dir=$3
    (cd "$dir" && apt-get source -qq "$package=$version" >"$dir/$package.fetch.log" 2>&1) || return 1
    [ -f "$dir/${package}_${version#*:}.dsc" ] || return 1
    find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -1
}

# tp_ensure_deb_src: adds deb-src entries mirroring the machine's own deb
# entries (same archive, mirror or proxy) when it has none yet.
tp_ensure_deb_src() {
    if grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local here entries sudo=""
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    entries=$(python3 "$here/deb_src_entries.py") || {
        echo "cache: apt's sources name no entry for this Debian release to take source packages from" >&2
        return 1
    }
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "cache: adding deb-src entries beside the machine's deb entries"
    printf '%s\n' "$entries" | $sudo tee /etc/apt/sources.list.d/tessaro-src.sources >/dev/null
    $sudo apt-get update -qq
}

# tp_resolve TOOL NAME PACKAGE: finds NAME in the cache, or builds it with the
# caller's build_NAME SRC OUT from the newest source version of PACKAGE that
# can be fetched; sets entries[NAME]. Reads the caller's platform, compiler
# and recipe, and appends what tp_key_extra NAME prints (if the caller defines
# it) to the key. Sets work and log for the caller's error trap.
tp_resolve() {
    local tool=$1 name=$2 package=$3 version key entry out src versions=()
    # Read whole first: the loop's builds must not share their input with the list.
    mapfile -t versions < <(tp_source_versions "$package")
    for version in "${versions[@]}"; do
        key="$package $version | $compiler | recipe $recipe"
        if declare -F tp_key_extra >/dev/null; then
            key="$key$(tp_key_extra "$name")"
        fi
        entry=$(tp_entry "$platform" "$name" "$key")
        tp_drop_invalid "$entry"
        if [ -d "$entry" ]; then
            echo "$tool: $name $version from the cache"
            entries[$name]=$entry
            return 0
        fi
        mkdir -p "$(tp_cache_root)"
        work=$(mktemp -d "$(tp_cache_root)/work.XXXXXX")
        log="$work/$name.log"
        if ! src=$(tp_fetch_source "$package" "$version" "$work"); then
            echo "$tool: $package $version cannot be fetched ($(tail -1 "$work/$package.fetch.log" 2>/dev/null)); trying an older version" >&2
            rm -rf "$work"
            continue
        fi
        echo "$tool: building $name $version"
        out=$(tp_begin "$entry")
        "build_$name" "$src" "$out"
        # The build's own log goes with the entry, for whoever wonders how it was made.
        cp "$log" "$out/.tessaro-build.log"
        tp_commit "$out" "$entry" "$key"
        rm -rf "$work"
        entries[$name]=$entry
        return 0
    done
    echo "$tool: no version of $package could be fetched" >&2
    return 1
}
