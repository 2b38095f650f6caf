#!/usr/bin/env bash
# Builds what an operator installs, into build/release/:
#   KelvrixSetup-X.Y.Z.exe     the Windows installer (silent with /S)
#   kelvrix-X.Y.Z-win64.zip    the program and its guide, for machines where
#                              nothing may be installed
#   operator-guide.ja.html     the guide, with its screenshots/ beside it
#   CHANGELOG.md               what changed, in Japanese and English
#   THIRD-PARTY-NOTICES.txt    the notices of the runtime linked into the exe
#   SHA256SUMS                 the checksums of all of the above, for sha256sum -c
# X.Y.Z is the project's version in CMakeLists.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh windows >/dev/null
build=$root/build/windows
version=$(sed -n 's/^#define KELVRIX_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/version.h")

out=$root/build/release
rm -rf "$out"
mkdir -p "$out/screenshots"
cp "$build/KelvrixSetup-$version.exe" "$build/operator-guide.ja.html" CHANGELOG.md resources/THIRD-PARTY-NOTICES.txt \
  "$out/"
cp docs/screenshots/*.png "$out/screenshots/"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/kelvrix-$version
mkdir -p "$folder"
cp "$build/kelvrix.exe" "$build/kelvrix-cli.exe" "$out/operator-guide.ja.html" "$out/CHANGELOG.md" "$out/THIRD-PARTY-NOTICES.txt" "$folder/"
cp -r "$out/screenshots" "$folder/"
(cd "$stage" && cmake -E tar cf "$out/kelvrix-$version-win64.zip" --format=zip "kelvrix-$version")

(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)

echo "release $version in $out:"
ls -l "$out" | sed -n '2,$p'
