#!/usr/bin/env bash
# Source this file: sets up Wine for the Windows build's programs and tests, in a prefix inside
# build-windows/, with a wine server that stays up while the sourcing shell runs (one start-up
# instead of one per program) until velmora_stop_wine. Needs DISPLAY for anything with windows.
_velmora_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="${WINEPREFIX:-$_velmora_root/build-windows/wineprefix}"
# Wine's errors only (they are silent on a passing run; a program that dies before its first
# line leaves nothing else), and no prompts to install the .NET and HTML engines (the program
# needs neither).
export WINEDEBUG=-all,err+all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# Debian's wineserver wrapper starts every server with -p0 (it exits the moment its last program
# does): a server that wine started on its own is waited out, and ours, started first, stays.
# Without this each test program started a fresh server, and one that met the previous server on
# its way out ended at once with status 1 and no word. A persistent server left behind by an
# earlier run never exits on its own: after 30 s it is ended, so the wait is bounded.
timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
wineserver -p
wine64 wineboot -i >/dev/null 2>&1 || true
velmora_stop_wine() { wineserver -k 2>/dev/null || true; }
