#!/usr/bin/env bash
# The Linux program as hardened as distributions build theirs: hardening-check's first five
# checks, and what Debian 12's hardening-check cannot see: every source compiled with stack-clash
# and control-flow protection, and every function of ours that can be called from elsewhere
# starting at a landing pad.   Usage: hardening_test.sh BUILD-FOLDER
set -euo pipefail
program=$1/mivo
fail() { echo "FAIL $*"; exit 1; }
[ "$(hardening-check "$program" | sed -n 2,6p | grep -c ': yes')" = 5 ] ||
  fail "hardening-check: $(hardening-check "$program")"
! grep '"command"' "$1/compile_commands.json" | grep -vE -- '-fstack-clash-protection.*-fcf-protection' ||
  fail "compiled without stack-clash or control-flow protection"
# By address: a constructor's names share one.
ours=$(nm --defined-only "$program" | awk '$2 == "T" && $3 ~ /^(main$|_ZN6window|_ZN3tax)/ {print $1, $3}' | sort)
padded=$(objdump -d --no-show-raw-insn "$program" | awk '/^[0-9a-f]+ <.*>:$/ {at = $1; getline; if ($2 == "endbr64") print at}')
[ -n "$ours" ] && missing=$(grep -vFf <(echo "$padded") <<<"$ours") || true
[ -n "$ours" ] && [ -z "$missing" ] || fail "no landing pad at the start of: ${missing:-any function}"
echo "PASS hardened: $(wc -l <<<"$ours") functions with landing pads"
