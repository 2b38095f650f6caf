#!/usr/bin/env bash
# Runs a Windows test executable under Wine for ctest.
# Wine's helper processes must not inherit ctest's output pipe, or ctest waits
# for them forever: Wine's own output goes to a temp file, printed afterwards.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEDEBUG=-all
log=$(mktemp)
wine "$@" </dev/null >"$log" 2>&1
rc=$?
cat "$log"
rm -f "$log"
exit $rc
