#!/usr/bin/env bash
# The Ansible collection (ansible/): built with ansible-galaxy into OUT (default build/ansible), and
# ansible-lint (Debian's package, scripts/install-deps.sh --checks) on the collection and its example
# playbook. ansible-lint installs the collection into its cache, kept in OUT too. The collection's
# own test over SSH is a ctest test (tests/ansible/).
#   scripts/ansible-check.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/ansible}")
mkdir -p "$out"
rm -f "$out"/vantor-plc-*.tar.gz
ansible-galaxy collection build ansible --output-path "$out"

cd ansible
XDG_CACHE_HOME="$out/cache" ANSIBLE_HOME="$out/ansible-home" \
    ansible-lint --nocolor -c .ansible-lint galaxy.yml meta roles examples
