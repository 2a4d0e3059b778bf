#!/usr/bin/env bash
# Installs what building and testing Zarn needs and is missing: cmake, g++,
# pkg-config, GoogleTest, PCRE2 and GNU parallel (the test of a split run)
# from Debian's packages. Quiet and idempotent; runs apt-get as root, or
# through sudo.
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libpcre2-dev patch groff-base clang-format parallel)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
