#!/usr/bin/env bash
# lumora.dll exports exactly the framework interface by name, and every
# program given imports only lumora.dll and DLLs that every Windows has: the
# C and C++ runtimes of the compiler must be linked in, not shipped beside it.
#
# Usage: check_exports_imports.sh OBJDUMP LUMORA.DLL [PROGRAM.EXE...]
set -euo pipefail
objdump="$1"
dll="$2"
shift 2

expected="DoEvents
InitGL
KillGLWindow
OrvaneInit
ReSizeGLScene
SetWndProc
ShowResDialog
SysError
_ZN10_FrameWorkaSERKS_
done
fwk
g_hMainWinDC"

# The names of the export table, read from the "[Ordinal/Name Pointer] Table" section.
exports() {
    "$objdump" -p "$1" | awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
        on && /^\s*$/ {on = 0} on {print $NF}' | sort
}

# The DLLs a module imports, lower case.
imports() {
    "$objdump" -p "$1" | awk '/DLL Name:/ {print tolower($3)}' | sort -u
}

# Every Windows has these; the runtime DLLs of the compiler are not among them.
system_dll='^(kernel32|user32|gdi32|opengl32|glu32|winmm|advapi32|shell32|ole32|comdlg32|ws2_32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

status=0
actual=$(exports "$dll")
if [ "$actual" != "$(echo "$expected" | sort)" ]; then
    echo "FAIL: unexpected export table of $dll:"
    diff <(echo "$expected" | sort) <(echo "$actual") || true
    status=1
fi
for module in "$dll" "$@"; do
    own=$(imports "$module")
    [ -n "$own" ] || { echo "FAIL: no import table read from $module"; status=1; continue; }
    for name in $own; do
        if [ "$module" != "$dll" ] && [ "$name" = lumora.dll ]; then
            continue
        fi
        if ! [[ "$name" =~ $system_dll ]]; then
            echo "FAIL: $(basename "$module") imports $name"
            status=1
        fi
    done
    if [ "$module" != "$dll" ] && ! echo "$own" | grep -qx lumora.dll; then
        echo "FAIL: $(basename "$module") does not import lumora.dll"
        status=1
    fi
done
[ "$status" = 0 ] && echo "exports and imports ok"
exit "$status"
