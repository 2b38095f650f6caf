#!/usr/bin/env bash
# Renders a settings report in headless Chromium, as a browser shows and
# prints it: PREFIX.png (the page on screen, 1240 px wide), PREFIX.pdf (A4)
# and PREFIX-page-N.png for each page of the PDF (pdftoppm, at DPI, 60 by default).
#   render-report.sh REPORT.html PREFIX [DPI]
set -euo pipefail
html=$(realpath "$1")
prefix=$2
browser=$(command -v chromium || command -v chromium-browser)
# A profile of its own: no first-run work in the user's home, nothing left behind.
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
run() {
  "$browser" --headless --no-sandbox --disable-gpu --user-data-dir="$profile" --no-first-run \
    --disable-dev-shm-usage "$@" "file://$html" >/dev/null 2>&1
}
run --window-size=1240,1754 --screenshot="$prefix.png"
run --no-pdf-header-footer --print-to-pdf="$prefix.pdf"
pdftoppm -r "${3:-60}" -png "$prefix.pdf" "$prefix-page"
