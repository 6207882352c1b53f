#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds (the normal build first; the Windows,
# sanitizer, fuzz and platform-independent builds and the benchmarks behind the tests), runs every
# test once (the Windows
# and sanitizer tests on desktops of their own, beside the default build's tests), then fuzzes
# every parser briefly. A test that fails fails the run: nothing is run again. Ends
# with the time of each stage and the slowest tests.
set -uo pipefail
cd "$(dirname "$0")/.."

export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
export LANG=C.UTF-8
JOBS="${VELMORA_TEST_JOBS:-$(nproc)}"
FUZZ_SECONDS="${VELMORA_FUZZ_SECONDS:-10}"

status=0
stages=()
# stage NAME COMMAND...: runs it, notes its time and result; a failed stage fails the run.
stage() {
  local name="$1"
  shift
  local t0=$SECONDS rc=0
  echo "=== $name"
  "$@" || rc=$?
  stages+=("$(printf '%-34s %6ss  %s' "$name" $((SECONDS - t0)) "$([ $rc -eq 0 ] && echo ok || echo "FAILED ($rc)")")")
  if [ $rc -ne 0 ]; then status=1; fi
  return $rc
}
# The five slowest tests of each ctest run, for the closing table (a file: the Windows tests
# run in a subshell).
SLOWEST="$(mktemp)"
# ctest_logged NAME ARGS...: runs ctest with ARGS and notes its slowest tests.
ctest_logged() {
  local name="$1" log
  shift
  log="$(mktemp)"
  ctest "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  grep -oE 'Test +#[0-9]+: [A-Za-z0-9_]+ [.]* *[A-Za-z*]+ +[0-9.]+ sec' "$log" |
    awk -v n="$name" '{printf "  %-32s %ss %s\n", n, $(NF-1), $3}' | sort -k2 -rn | head -5 \
    >>"$SLOWEST"
  rm -f "$log"
  return $rc
}
report() {
  echo
  if [ -s "$SLOWEST" ]; then
    echo "slowest tests"
    cat "$SLOWEST"
  fi
  rm -f "$SLOWEST"
  printf '%-34s %7s  %s\n' stage time result
  printf '%s\n' "${stages[@]}"
  printf '%-34s %6ss\n' total "$SECONDS"
}
trap report EXIT

stage "packages" bash scripts/deps.sh || exit 1
ccache --zero-stats >/dev/null 2>&1 || true

# A file clang-format would change fails the run before anything is built.
check_format() {
  if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "test: run clang-format -i on the files above" >&2
    return 1
  fi
}
stage "format" check_format || exit 1

build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; }
stage "build default" build default || exit 1

# The other builds run one after another behind the tests, at the lowest priority: they take the
# processor time the desktop tests leave idle and yield it whenever a test wants it. Each build's
# own time is in the table.
BG="$(mktemp -d)"
# The Windows build first: its tests (under Wine) take longest, so they start first. Last, what
# no test waits for: the logic with no toolkit, X11, curl, PCRE2 or iconv at all (portable), and
# the benchmarks (bench: the default build's target of that name).
later=()
[ -z "${VELMORA_SKIP_WINDOWS:-}" ] && later+=(windows)
[ -z "${VELMORA_SKIP_ASAN:-}" ] && later+=(asan)
[ -z "${VELMORA_SKIP_FUZZ:-}" ] && later+=(fuzz)
later+=(portable bench)
build_behind() {
  local p t0 rc
  for p in "$@"; do
    t0=$SECONDS
    rc=0
    if [ "$p" = bench ]; then
      nice -n 19 cmake --build --preset default --target benchmarks >"$BG/$p.log" 2>&1 || rc=$?
    else
      nice -n 19 bash -c 'cmake --preset "$1" >/dev/null && cmake --build --preset "$1"' _ "$p" \
        >"$BG/$p.log" 2>&1 || rc=$?
    fi
    echo "$((SECONDS - t0)) $rc" >"$BG/$p.done"
  done
}
build_behind "${later[@]}" &
behind=$!
# await_build PRESET: waits for that build, shows its output (all of it when it failed) and
# writes its table line; fails when the build did.
await_build() {
  local p="$1" took rc
  while [ ! -f "$BG/$p.done" ]; do sleep 1; done
  read -r took rc <"$BG/$p.done"
  echo "=== build $p (behind the tests)"
  if [ "$rc" -eq 0 ]; then tail -n 2 "$BG/$p.log"; else cat "$BG/$p.log"; fi
  printf '%-34s %6ss  %s\n' "build $p (behind)" "$took" \
    "$([ "$rc" -eq 0 ] && echo ok || echo "FAILED ($rc)")" >>"$BG/lines.$p"
  return "$rc"
}

source scripts/desktop.sh
# desktop.sh stops its programs at exit; the table still comes last.
lanes=()
stop_all() {
  kill "$behind" 2>/dev/null
  for l in "${lanes[@]}"; do kill "${l#*:}" 2>/dev/null; done
  velmora_stop_desktop
  report
}
trap stop_all EXIT
stage "desktop" velmora_start_desktop || exit 1

# lane NAME PRESET DISPLAY COMMAND...: once PRESET's build is done (the default build already is),
# runs COMMAND in the background on a desktop of its own (its own display, session and accessibility buses, window manager and home
# folder), so the Windows and sanitizer tests run beside the default build's tests instead of
# after them. Output goes to a file shown when the lane ends; the table line is collected then.
lane() {
  local name="$1" preset="$2" display="$3"
  shift 3
  (
    _velmora_pids=()
    trap velmora_stop_desktop EXIT
    {
      [ "$preset" = default ] || await_build "$preset" || exit 1
      export HOME="$BG/home.$name"
      mkdir -p "$HOME"
      t0=$SECONDS
      rc=0
      VELMORA_FORCE_XVFB=1 VELMORA_DISPLAY_NUM="$display" velmora_start_desktop && "$@" || rc=$?
      printf '%-34s %6ss  %s\n' "tests $name" $((SECONDS - t0)) \
        "$([ $rc -eq 0 ] && echo ok || echo "FAILED ($rc)")" >>"$BG/lines.$name"
      exit $rc
    } >"$BG/lane.$name.log" 2>&1
  ) &
  lanes+=("$name:$!")
}

# The native Windows build: velmora.exe and its tests, cross-built, run under Wine in a Wine
# prefix of the build's own.
windows_tests() {
  source scripts/wine-env.sh
  local rc=0
  ctest_logged windows --preset windows --output-on-failure --timeout 600 -j "$JOBS" || rc=$?
  velmora_stop_wine
  return $rc
}
asan_tests() {
  # Leaks inside Qt, fontconfig and the web engine are theirs, listed in the file with why.
  # The web engine's own code frees some objects through a base of another size (seen in
  # WebContentsAdapter's teardown); that check is off because none of it is ours.
  LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    ASAN_OPTIONS="detect_leaks=1:new_delete_type_mismatch=0" \
    ctest_logged asan --preset asan --output-on-failure --timeout 600 -j "$JOBS"
}
# The tests labelled wayland start headless compositors of their own and touch nothing of the X
# desktop's, so they run one at a time beside the X desktop's tests instead of after them.
wayland_tests() {
  ctest_logged wayland --preset default --output-on-failure --timeout 600 -L wayland
}
lane wayland default 127 wayland_tests
[ -z "${VELMORA_SKIP_WINDOWS:-}" ] && lane windows windows 117 windows_tests
[ -z "${VELMORA_SKIP_ASAN:-}" ] && lane asan asan 137 asan_tests

# Tests that need no desktop run side by side; the desktop's tests run one at a time (they are
# marked to run alone).
stage "tests default" ctest_logged default --preset default --output-on-failure --timeout 600 \
  -j "$JOBS" -LE wayland

# Every parser of untrusted input under libFuzzer: each replays its whole seed corpus, then
# fuzzes for FUZZ_SECONDS; a finding fails the run. The long campaign is
# scripts/fuzz-campaign.py.
if [ -z "${VELMORA_SKIP_FUZZ:-}" ]; then
  fuzz_built=0
  await_build fuzz || fuzz_built=$?
  mapfile -t -O "${#stages[@]}" stages <"$BG/lines.fuzz"
  if [ $fuzz_built -eq 0 ]; then
    stage "fuzz (${FUZZ_SECONDS}s a target)" bash scripts/fuzz.sh "$FUZZ_SECONDS"
  else
    status=1
  fi
fi

for l in "${lanes[@]}"; do
  name="${l%%:*}"
  rc=0
  wait "${l#*:}" || rc=$?
  echo "=== tests $name (on a desktop of its own)"
  cat "$BG/lane.$name.log"
  [ $rc -ne 0 ] && status=1
done
lanes=()
for p in portable bench; do
  await_build "$p" || status=1
done
for p in wayland windows asan portable bench; do
  [ -f "$BG/lines.$p" ] && mapfile -t -O "${#stages[@]}" stages <"$BG/lines.$p"
done
wait "$behind" 2>/dev/null
ccache --show-stats 2>/dev/null | grep -E "Hits|Misses" | head -3 || true
exit $status
