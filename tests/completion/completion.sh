#!/usr/bin/env bash
# The bash completion: what it offers for typed command lines, and its function names are
# those of the program's help text.
# Usage: completion.sh PROGRAM COMPLETION_SCRIPT
set -u
program=$1
# compopt works only while bash completes; here it records what it was asked.
compopt() { compopts+="$*"; }
source "$2"
failed=0
cases=0

# complete_line LINE: COMP_WORDS split at blanks outside quotes, as bash does for these lines;
# the last word is the one being completed, handed over without its opening quote.
complete_line() {
  local words=() word="" quoted=0 c i
  for ((i = 0; i < ${#1}; i++)); do
    c=${1:i:1}
    if [[ $c == "'" ]]; then
      quoted=$((1 - quoted))
      word+=$c
    elif [[ $c == " " && $quoted == 0 ]]; then
      words+=("$word")
      word=""
    else
      word+=$c
    fi
  done
  words+=("$word")
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  local cur=${words[COMP_CWORD]}
  cur=${cur#\'}
  compopts=""
  _tcalc tcalc "$cur" "${words[COMP_CWORD - 1]}"
}

expect() {
  local line=$1 want=$2 wantCompopts=${3:-}
  cases=$((cases + 1))
  complete_line "$line"
  local got="${COMPREPLY[*]}"
  if [[ $got != "$want" || $compopts != "$wantCompopts" ]]; then
    echo "tcalc completion of [$line]: got [$got] compopt [$compopts]," \
      "want [$want] compopt [$wantCompopts]"
    failed=$((failed + 1))
  fi
}

# Options only before every other argument.
expect "tcalc --ut" "--utf8"
expect "tcalc --" "--help --version --utf8 --strict --explain --simplify --accurate --analyze --digits --plot --interactive"
expect "tcalc --i" "--interactive"
expect "tcalc --p" "--plot"
expect "tcalc --plot = " "svg text"
expect "tcalc --plot = s" "svg"
expect "tcalc --plot = svg --u" "--utf8"
expect "tcalc --plot '\\d" "\\d" "-o nospace"
expect "tcalc --d" "--digits"
expect "tcalc --digits " ""
expect "tcalc --digits 30 --s" "--strict --simplify"
expect "tcalc --digits = 30 --a" "--accurate --analyze"
expect "tcalc --s" "--strict --simplify"
expect "tcalc --a" "--accurate --analyze"
expect "tcalc --strict --e" "--explain"
expect "tcalc 2 --ut" ""
# Switches: in quotes they stay as typed; unquoted they are offered in quotes, since the shell
# eats a bare backslash. A value follows \v, \x, \d, \t and \l without a blank.
expect "tcalc '\\c" "\\c"
expect "tcalc '\\s" "\\s \\ss"
expect "tcalc '\\v" "\\v" "-o nospace"
expect "tcalc \\c" "'\\c'"
expect "tcalc \\d" "'\\d" "-o nospace"
expect "tcalc \\" "'\\c' '\\s' '\\ss' '\\i' '\\m' '\\n' '\\w' '\\j' '\\d '\\v '\\x '\\t '\\l"
expect "tcalc \\q" ""
# After a switch alone comes its value.
expect "tcalc '\\v' a" ""
expect "tcalc \\d 3" ""
# Function names at the end of a term, whatever their case; a single one in quotes also as
# the call, so that bash does not close the quote.
expect "tcalc 'sin(x)+co" "sin(x)+cos sin(x)+cot sin(x)+cosh sin(x)+coth" "-o nospace"
expect "tcalc '2*ARCTA" "2*arctan 2*arctanh" "-o nospace"
expect "tcalc '\\d3' 'x^2+ex" "x^2+exp x^2+exp(" "-o nospace"
expect "tcalc 2*ex" "2*exp" "-o nospace"
expect "tcalc 'x+" ""

# Every function of the help text, and no other name.
help=$("$program" --help | sed -n '/^Vordefinierte Funktionen sind:$/{n;p}' | tr -d ',' |
  tr 'A-Z ' 'a-z\n' | sort)
offered=$(for letter in {a..z}; do
  complete_line "tcalc x+$letter"
  [ ${#COMPREPLY[@]} = 0 ] || printf '%s\n' "${COMPREPLY[@]#x+}"
done | sort)
cases=$((cases + 1))
if [ -z "$help" ] || [ "$help" != "$offered" ]; then
  echo "function names of the help text and of the completion differ:"
  diff <(echo "$help") <(echo "$offered")
  failed=$((failed + 1))
fi

echo "completion: $cases cases, $failed failed"
[ "$failed" = 0 ]
