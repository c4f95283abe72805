#!/usr/bin/env bash
# Runs every example of the manual page and compares its output with the page, byte for byte.
# An example is a ".EX" block of lines "$ command", each followed by the lines the command
# writes to standard output; the command runs through bash with the program as `tcalc`
# first in PATH, and must write nothing else (standard error shown only by 2>&1).
# Usage: examples.sh PROGRAM PAGE
set -uo pipefail
export LC_ALL=C

program=$1
page=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$(realpath "$program")" "$work/bin/tcalc"

# The roff escapes an example may use, turned into the characters a user types and sees.
unescape() {
  sed -e 's/\\(aq/'"'"'/g' -e 's/\\(ha/^/g' -e 's/\\-/-/g' -e 's/\\&//g' \
    -e 's/\\(:a/\xc3\xa4/g' -e 's/\\(:o/\xc3\xb6/g' -e 's/\\(:u/\xc3\xbc/g' \
    -e 's/\\(:A/\xc3\x84/g' -e 's/\\(:O/\xc3\x96/g' -e 's/\\(:U/\xc3\x9c/g' \
    -e 's/\\(ss/\xc3\x9f/g' -e 's/\\e/\\/g'
}

# Characters that formatters may print as other glyphs, and escapes this script cannot read.
check_line() {
  local bare
  bare=$(printf '%s' "$1" | sed -e 's/\\(aq//g; s/\\(ha//g; s/\\-//g; s/\\&//g; s/\\(:[aouAOU]//g' \
    -e 's/\\(ss//g; s/\\e//g')
  case $bare in
    *\\*) echo "$page:$2: unknown escape in an example: $1" ;;
    *[-\'^~\`]*) echo "$page:$2: write \\- \\(aq \\(ha for - ' ^ in examples: $1" ;;
    .*) echo "$page:$2: request inside an example: $1" ;;
    *) return 0 ;;
  esac
  return 1
}

examples=0
failed=0
command=""
expected=""
commandLine=0

run_example() {
  [ -z "$command" ] && return
  examples=$((examples + 1))
  local actual status
  actual=$(cd "$work" && PATH="$work/bin:$PATH" bash -c "$command" 2>"$work/stderr" </dev/null; printf x)
  actual=${actual%x}
  if [ "$actual" != "$expected" ] || [ -s "$work/stderr" ]; then
    failed=$((failed + 1))
    echo "$page:$commandLine: example differs: \$ $command"
    diff <(printf '%s' "$expected") <(printf '%s' "$actual") | sed 's/^/  /'
    [ -s "$work/stderr" ] && sed 's/^/  standard error: /' "$work/stderr"
  fi
  command=""
}

lineNumber=0
inExample=0
blockHasCommand=0
while IFS= read -r line; do
  lineNumber=$((lineNumber + 1))
  if [ "$inExample" = 0 ]; then
    if [ "$line" = ".EX" ]; then
      inExample=1
      blockHasCommand=0
    fi
    continue
  fi
  if [ "$line" = ".EE" ]; then
    run_example
    inExample=0
    if [ "$blockHasCommand" = 0 ]; then
      echo "$page:$lineNumber: example block without a \"\$ \" command line"
      failed=$((failed + 1))
    fi
    continue
  fi
  check_line "$line" "$lineNumber" || failed=$((failed + 1))
  if [[ $line == '$ '* ]]; then
    run_example
    command=$(printf '%s\n' "${line#\$ }" | unescape)
    expected=""
    commandLine=$lineNumber
    blockHasCommand=1
  else
    expected+=$(printf '%s\n' "$line" | unescape)$'\n'
  fi
done <"$page"

if [ "$inExample" = 1 ]; then
  echo "$page: example block not closed by .EE"
  failed=$((failed + 1))
fi
echo "$(basename "$page"): $examples examples, $failed failed"
[ "$examples" -gt 0 ] && [ "$failed" = 0 ]
