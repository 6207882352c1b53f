#!/usr/bin/env bash
# The main job: installs what is needed, builds, and runs a demo conversation that is translated
# for real, offline, with nothing configured: velmora's Apertium engine runs the local Apertium
# programs. The chat window stand-in has a peer who writes Spanish (plus the vendor server for
# the update check and the side pages). Velmora's targets are picked by real clicks on its
# snapshot overlay, its languages are set to English (ours) and Spanish (theirs), two English
# messages go out in Spanish, and the peer's replies come back in English. Without a display it
# runs under Xvfb and saves screenshots and a transcript in artifacts/demo/; on a desktop the
# windows stay open.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export LANG=C.UTF-8
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
cmake --preset default >/dev/null
# Only the program and the stand-ins the demo starts; the tests and benchmarks are not needed.
cmake --build --preset default --target velmora imsim vendor-server translate-endpoint \
  engine-standin

keep=()
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then keep=(--keep); fi
source scripts/desktop.sh
velmora_start_desktop

out=artifacts/demo
rm -rf "$out"
mkdir -p "$out"
python3 tests/e2e/conversation/drive.py --build build --out "$out" --scenario offline --form 1 \
  --im-send-key button "${keep[@]}"
echo "demo: screenshots and transcript in $out/"
cat "$out/transcript.txt"
