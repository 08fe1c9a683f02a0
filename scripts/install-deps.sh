#!/usr/bin/env bash
# Installs what building and testing needs on Debian 12, with apt-get.
#   scripts/install-deps.sh            the build and the test suite (python3 makes the third-party
#                                      notices and checks them, packaging/third-party/thirdparty.py;
#                                      libedit gives vantor term its line editing, tmux drives it in tests)
#   scripts/install-deps.sh --checks   also what CI's extra checks need: clang with libFuzzer for
#                                      scripts/fuzz.sh; mingw-w64, wine, GoogleTest's sources and
#                                      Debian's source-package tools for scripts/windows-check.sh;
#                                      xdotool, NSIS, mandoc (the manual as HTML) and a font of
#                                      Arial's metrics for scripts/windows-desktop-check.sh; Node.js
#                                      and npm for the SBOMs' validator; lintian for the .deb
#                                      (lintian build/ci/*.deb)
# Idempotent: when every package is already there it prints nothing and touches nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  python3
  qt6-base-dev nlohmann-json3-dev libtomlplusplus-dev
  ser2net
  libedit-dev tmux
  libgl-dev
  libgtest-dev libgmock-dev
  xvfb xauth fonts-dejavu-core
)
if [ "${1:-}" = "--checks" ]; then
  packages+=(clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine64 googletest dpkg-dev
             xdotool nsis mandoc fonts-liberation2 nodejs lintian)
  # Debian's npm, unless a Node.js that brings its own (which conflicts with Debian's) is there.
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
