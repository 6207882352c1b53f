#!/usr/bin/env bash
# Runs the desktop and end-to-end tests of a build (the default one unless named) ROUNDS times in a
# row on a desktop of their own while stress-ng keeps every core busy, as on a loaded user
# desktop, and counts each test's passes and failures. Nothing is run again: every failure is
# counted and its output kept. The Windows build's tests run under Wine.
#   bash scripts/soak.sh [ROUNDS] [ctest label regex] [build folder]
#   (defaults: 20, "platform|e2e", build)
# SOAK_DISPLAY picks the X display (default 150), so two soaks can run side by side; SOAK_LOAD
# replaces stress-ng as the load with a command of its own (e.g. the fuzz campaign).
set -uo pipefail
ROUNDS="${1:-20}"
LABELS="${2:-platform|e2e}"
BUILD="${3:-build}"
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"

OUT="$BUILD/soak"
rm -rf "$OUT"
mkdir -p "$OUT"
export VELMORA_FORCE_XVFB=1 VELMORA_DISPLAY_NUM="${SOAK_DISPLAY:-150}"
source scripts/desktop.sh
velmora_start_desktop || exit 1
export HOME="$PWD/$OUT/home"
mkdir -p "$HOME"
if [ "$BUILD" = build-windows ]; then
  source scripts/wine-env.sh
fi
if [ "$BUILD" = build-asan ]; then
  # The same suppressions and options as the test run, with why, in scripts/test.sh.
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export ASAN_OPTIONS="detect_leaks=1:new_delete_type_mismatch=0"
fi
if [ -n "${SOAK_LOAD:-}" ]; then
  setsid bash -c "$SOAK_LOAD" >"$OUT/load.log" 2>&1 &
else
  setsid stress-ng --cpu "$(nproc)" --quiet >/dev/null 2>&1 &
fi
load=$!
trap 'kill -INT -- -$load 2>/dev/null; [ "$BUILD" = build-windows ] && velmora_stop_wine; velmora_stop_desktop' EXIT

for round in $(seq 1 "$ROUNDS"); do
  log="$OUT/round-$round.log"
  ctest --test-dir "$BUILD" -L "$LABELS" -E e2e_package --output-on-failure --timeout 600 >"$log" 2>&1
  grep -oE 'Test +#[0-9]+: [A-Za-z0-9_]+ [.]* *(\*\*\*)?[A-Za-z]+' "$log" |
    awk -v r="$round" '{print r, $3, ($NF == "Passed") ? "pass" : "fail"}' >>"$OUT/results"
  echo "round $round: $(grep -c ' pass$' <(grep "^$round " "$OUT/results")) passed," \
    "$(grep -c ' fail$' <(grep "^$round " "$OUT/results")) failed"
done

printf '\n%-48s %6s %6s\n' test passed failed
awk '{n[$2]; if ($3 == "pass") p[$2]++; else f[$2]++}
     END {for (t in n) printf "%-48s %6d %6d\n", t, p[t], f[t]}' "$OUT/results" | sort
! grep -q ' fail$' "$OUT/results"
