#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the native core
# under ASan + UBSan, the fuzz target for a bounded time, and the Windows build
# under Wine on a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

for kind in native fuzz windows; do
  echo "== build $kind"
  bash scripts/build.sh "$kind"
done

# The fuzz target runs for a fixed time on one core: beside the native tests.
echo "== test native, the fuzz target beside them"
ctest --test-dir build/fuzz --output-on-failure >build/fuzz/ctest.log 2>&1 &
fuzz=$!
native=0
ctest --test-dir build/native --output-on-failure || native=$?
fuzzed=0
wait "$fuzz" || fuzzed=$?
echo "== test fuzz"
cat build/fuzz/ctest.log
if [ "$native" -ne 0 ] || [ "$fuzzed" -ne 0 ]; then exit 1; fi

echo "== test windows (Wine)"
export LANG=ja_JP.UTF-8
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build/windows --output-on-failure
