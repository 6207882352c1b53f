#!/usr/bin/env bash
# Source this file: sets up Wine for the Windows build's programs and tests, in a prefix inside
# build-windows/, with a wine server that stays up while the sourcing shell runs (one start-up
# instead of one per program) until velmora_stop_wine. Needs DISPLAY for anything with windows.
_velmora_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="${WINEPREFIX:-$_velmora_root/build-windows/wineprefix}"
# Quiet, and no prompts to install the .NET and HTML engines (the program needs neither).
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wine64 wineboot -i >/dev/null 2>&1 || true
wineserver -p
velmora_stop_wine() { wineserver -k 2>/dev/null || true; }
