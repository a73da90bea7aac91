#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine lacks.
# Safe to run again: it does nothing when everything is present.
set -euo pipefail
packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb xauth fonts-wqy-microhei
  openbox x11-utils
  googletest libgtest-dev libstb-dev nlohmann-json3-dev g++
  clang-14 libclang-rt-14-dev
  libboost1.81-dev libsqlite3-dev libsodium-dev pkg-config
  postgresql libpq-dev
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# With recommends: Wine needs the X libraries and fontconfig it only recommends.
apt-get install -y -qq "${missing[@]}" >/dev/null
