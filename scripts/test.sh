#!/usr/bin/env bash
# Installs what is needed, builds (normal and sanitizer builds), starts a desktop and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
export LANG=C.UTF-8

cmake --preset default >/dev/null
cmake --build --preset default

source scripts/desktop.sh
velmora_start_desktop

status=0
ctest --preset default --output-on-failure --timeout 600 || status=$?

if [ -z "${VELMORA_SKIP_ASAN:-}" ]; then
  cmake --preset asan -DVELMORA_GUI=OFF >/dev/null
  cmake --build --preset asan
  ctest --preset asan --output-on-failure || status=$?
fi
exit $status
