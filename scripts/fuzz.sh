#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for the given seconds (default 60), two at a
# time, each on a copy of its seed corpus (the repository's corpus is never written to).
# Prints executions, exec/s and edges per target; exits non-zero on any finding, whose input is
# kept in build-fuzz/findings/<target>/.
set -euo pipefail

SECONDS_PER_TARGET="${1:-60}"
if ! [[ "$SECONDS_PER_TARGET" =~ ^[0-9]+$ ]] || [ "$SECONDS_PER_TARGET" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [seconds]" >&2
  exit 2
fi
PARALLEL=2

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build-fuzz"
cd "$ROOT"

nice -n 10 cmake --preset fuzz >/dev/null
nice -n 10 cmake --build --preset fuzz

RUN="$BUILD/fuzz-run"
FINDINGS="$BUILD/findings"
rm -rf "$RUN"
mkdir -p "$RUN" "$FINDINGS"
# The targets' scratch files (configuration copies, mode folders) stay inside the build folder.
export TMPDIR="$RUN/tmp"
mkdir -p "$TMPDIR"

mapfile -t TARGETS < <(find "$BUILD/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x \
  -printf '%f\n' | sort)
if [ ${#TARGETS[@]} -eq 0 ]; then
  echo "fuzz: no targets built" >&2
  exit 1
fi

run_target() {
  local t="$1"
  local corpus="$RUN/corpus/$t"
  rm -rf "$FINDINGS/$t"
  mkdir -p "$corpus" "$FINDINGS/$t"
  if [ -d "$ROOT/fuzz/corpus/$t" ]; then cp -r "$ROOT/fuzz/corpus/$t/." "$corpus/"; fi
  local args=(-max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048
              -print_final_stats=1 -artifact_prefix="$FINDINGS/$t/")
  if [ -f "$ROOT/fuzz/$t.dict" ]; then args+=(-dict="$ROOT/fuzz/$t.dict"); fi
  local rc=0
  # The hard bound covers a target that hangs where libFuzzer cannot stop it.
  timeout -k 10 $((SECONDS_PER_TARGET + 60)) \
    nice -n 10 "$BUILD/fuzz/$t" "${args[@]}" "$corpus" >"$RUN/$t.log" 2>&1 || rc=$?
  echo "$rc" >"$RUN/$t.rc"
}

running=0
for t in "${TARGETS[@]}"; do
  if [ "$running" -ge "$PARALLEL" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  echo "fuzz: $t for ${SECONDS_PER_TARGET}s"
  run_target "$t" &
  running=$((running + 1))
done
wait || true

failed=0
printf '\n%-24s %12s %10s %8s  %s\n' target executions exec/s edges result
for t in "${TARGETS[@]}"; do
  log="$RUN/$t.log"
  rc="$(cat "$RUN/$t.rc" 2>/dev/null || echo 1)"
  # A target that died early lacks some of these lines; the row then shows "-".
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" 2>/dev/null | tail -1)" || true
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" 2>/dev/null | tail -1)" || true
  edges="$({ grep -o 'cov: [0-9]*' "$log" 2>/dev/null || true; } | tail -1 | cut -d' ' -f2)"
  result=ok
  if [ "$rc" != 0 ]; then
    result="FAILED (exit $rc; input in $FINDINGS/$t/, log in $log)"
    failed=1
  fi
  printf '%-24s %12s %10s %8s  %s\n' "$t" "${execs:--}" "${speed:--}" "${edges:--}" "$result"
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: findings; see the logs above" >&2
  for t in "${TARGETS[@]}"; do
    if [ "$(cat "$RUN/$t.rc" 2>/dev/null || echo 1)" != 0 ]; then
      { grep -E 'property broken|ERROR:|SUMMARY' "$RUN/$t.log" || true; } | head -5 |
        sed "s/^/  $t: /" >&2
    fi
  done
  exit 1
fi
echo "fuzz: no findings"
