#!/usr/bin/env bash
# The shared library's dynamic symbol table must define exactly the framework
# interface and the Win32 stand-ins, nothing else.
set -euo pipefail
lib="$1"
expected="DefWindowProcA
DoEvents
GetDesktopWindow
GetWindowRect
InitGL
KillGLWindow
MessageBoxA
MoveWindow
OrvaneInit
PostQuitMessage
ReSizeGLScene
SetWndProc
ShowResDialog
SwapBuffers
SysError
_ZN10_FrameWorkaSERKS_
done
fwk
g_hMainWinDC"
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort)
if [ "$actual" != "$(echo "$expected" | sort)" ]; then
    echo "unexpected export table:"
    diff <(echo "$expected" | sort) <(echo "$actual") || true
    exit 1
fi
echo "exports ok"
