#!/usr/bin/env bash
# Installs what building and testing needs on Debian 12, with apt-get.
#   scripts/install-deps.sh            the build and the test suite (python3 makes the third-party
#                                      notices and checks them, packaging/third-party/thirdparty.py;
#                                      libedit gives vantor term its line editing, tmux drives it in tests;
#                                      ansible-core and openssh-server for the Ansible collection's test,
#                                      which starts its own sshd on the loopback address: the system's
#                                      ssh service is neither started nor enabled when this installs it)
#   scripts/install-deps.sh --checks   also what CI's extra checks need: clang with libFuzzer for
#                                      scripts/fuzz.sh; mingw-w64, wine, GoogleTest's sources and
#                                      Debian's source-package tools for scripts/windows-check.sh;
#                                      xdotool, NSIS, mandoc (the manual as HTML) and a font of
#                                      Arial's metrics for scripts/windows-desktop-check.sh; Node.js
#                                      and npm for the SBOMs' validator; lintian for the .deb
#                                      (lintian build/ci/*.deb); ansible-lint for scripts/ansible-check.sh
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
  ansible-core openssh-server
)
if [ "${1:-}" = "--checks" ]; then
  packages+=(clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine64 googletest dpkg-dev
             xdotool nsis mandoc fonts-liberation2 nodejs lintian ansible-lint)
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

# openssh-server's package starts and enables the system's sshd: the tests start their own, so while
# installing, a policy-rc.d (unless the machine has one, as containers do) tells the package scripts
# not to start any service, and afterwards the ssh service is disabled where systemd runs.
policy=/usr/sbin/policy-rc.d
ours_policy=
if [[ " ${missing[*]} " == *" openssh-server "* ]] && [ ! -e "$policy" ]; then
  ours_policy=1
  trap '$sudo rm -f "$policy"' EXIT
  printf '#!/bin/sh\n# scripts/install-deps.sh: no service starts while it installs\nexit 101\n' |
    $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
fi

$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

if [[ " ${missing[*]} " == *" openssh-server "* ]]; then
  if [ -n "$ours_policy" ]; then
    $sudo rm -f "$policy"
    trap - EXIT
  fi
  if [ -d /run/systemd/system ]; then
    $sudo systemctl disable --quiet ssh.service ssh.socket 2>/dev/null || true
  fi
  if [ -s /run/sshd.pid ] && kill -0 "$(cat /run/sshd.pid)" 2>/dev/null; then
    echo "install-deps.sh: the system's sshd runs after installing openssh-server; stop it" >&2
    exit 1
  fi
fi
