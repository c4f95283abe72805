#!/usr/bin/env bash
# The manual page is plain ASCII (umlauts as escapes) and every installed formatter reads it
# without a warning: groff with all warnings, man as lintian runs it, mandoc's linter.
# Exits 77 (skipped) when none of them is installed.
# Usage: lint.sh PAGE
set -uo pipefail
page=$1
status=0
checked=0

if grep -n -P '[^\x00-\x7f]' "$page"; then
  echo "$page: the lines above are not ASCII; write umlauts as \\(:a \\(:o \\(:u \\(ss"
  status=1
fi

# Runs a linter when it is installed; any message is a finding. Formatted output is dropped,
# except from mandoc -Tlint, whose messages are its output.
lint() {
  command -v "$1" >/dev/null || return 0
  checked=$((checked + 1))
  local out
  if [ "$1" = mandoc ]; then out=$("$@" 2>&1); else out=$("$@" 2>&1 >/dev/null); fi
  [ -z "$out" ] && return 0
  printf '%s:\n%s\n' "$*" "$out"
  status=1
}

lint groff -man -ww -z "$page"
# As lintian reads an installed page.
LC_ALL=C.UTF-8 MANWIDTH=80 lint man --warnings -E UTF-8 -l -Tutf8 -Z "$page"
lint mandoc -Tlint "$page"

if [ "$checked" = 0 ]; then
  echo "neither groff, man nor mandoc installed: manual page not linted"
  exit 77
fi
[ "$status" = 0 ] && echo "$(basename "$page"): no findings from $checked linters"
exit "$status"
