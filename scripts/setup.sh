#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Safe to run again: it only calls apt-get when something is absent.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-dev python3
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine xvfb xauth socat fonts-ipafont-gothic imagemagick x11-utils locales
  nsis
  ansible-core  # the command-line tool's example playbook and its test
  chromium poppler-utils  # render the settings report to PNG and PDF, and its first page back to PNG, in its test
  python3-markdown  # the operator's guide as one HTML page
  python3-yaml  # the watch examples (Zabbix, Prometheus) read back in their test
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The users run Japanese Windows: the Wine tests run with a Japanese locale so that
# Wine's ANSI code page is 932, as on their machines.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
