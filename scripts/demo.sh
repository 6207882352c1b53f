#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs the companion. Headless (no DISPLAY),
# it runs under Xvfb, saves screenshots and a transcript in artifacts/demo/, and exits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export LANG=C.UTF-8
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
cmake --preset default >/dev/null
cmake --build --preset default

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then headless=1; fi
source scripts/desktop.sh
velmora_start_desktop

out=artifacts/demo
mkdir -p "$out"
build/src/app/velmora &
pid=$!
for _ in $(seq 1 50); do
  wid=$(xdotool search --onlyvisible --name '^Quillet2009' 2>/dev/null | head -1 || true)
  [ -n "$wid" ] && break
  sleep 0.2
done
if [ -z "${wid:-}" ]; then echo "demo: the main window did not appear" >&2; kill $pid; exit 1; fi
sleep 2
import -window "$wid" "$out/main-window.png"
echo "demo: screenshot saved to $out/main-window.png"
if [ $headless -eq 1 ]; then
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
else
  echo "demo: velmora is running (pid $pid); close it from its tray icon menu"
  wait $pid
fi
