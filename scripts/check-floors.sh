#!/usr/bin/env bash
# Fails when a source includes a header of a floor above its own. The floors,
# bottom up: model/, link/, tools/, then dialogs/ and cli/ side by side, then app/.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
check() {  # FOLDER FLOORS-IT-MUST-NOT-INCLUDE
  if grep -Hn -E "#include \"($2)/" "$1"/* ; then
    echo "check-floors: $1/ includes from a floor above it" >&2
    status=1
  fi
}
check model 'link|tools|dialogs|cli|app'
check link 'tools|dialogs|cli|app'
check tools 'dialogs|cli|app'
check dialogs 'cli|app'
check cli 'dialogs|app'
exit $status
