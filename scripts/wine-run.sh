#!/bin/sh
# wine-run.sh WINE PROGRAM ARGS...: runs a Windows program under Wine (the Windows build's test
# runner) and, when it fails, says how it ended: with Wine's own messages off, a program that
# ends before its first line of output would otherwise fail without a word.
start=$(date +%s%N)
"$@"
rc=$?
if [ "$rc" -ne 0 ]; then
  ms=$((($(date +%s%N) - start) / 1000000))
  server=$(pgrep wineserver >/dev/null && echo running || echo "not running")
  echo "wine-run: $2 ended with status $rc at $(date +%T.%N | cut -c1-12) after $ms ms;" \
    "wine server $server" >&2
fi
exit "$rc"
