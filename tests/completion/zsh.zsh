#!/usr/bin/env zsh
# The zsh completion: what it offers for typed command lines, and its function names are those
# of the program's help text. compadd, compset and _describe stand in for the completion
# system: they match the offered words against the word typed as zsh does (case-insensitive
# where a matcher says so).
# Usage: zsh.zsh PROGRAM COMPLETION_SCRIPT
emulate -L zsh
setopt extendedglob
program=$1
source_file=$2
integer failed=0 cases=0
typeset -a offered words
typeset -A compstate

compset() {
  [[ $1 == -P ]] || return 1
  local head=${(M)PREFIX##${~2}}
  [[ -n $head ]] || return 1
  IPREFIX+=$head
  PREFIX=${PREFIX#$head}
}
compadd() {
  local suffix=' ' nocase=0
  while [[ $1 != -- ]]; do
    case $1 in
      -S) suffix=$2; shift ;;
      -M) nocase=1; shift ;;
    esac
    shift
  done
  shift
  # inside quotes the word is as typed, outside them its quoting goes
  local word typed=${(Q)PREFIX}
  [[ -n $compstate[quote] ]] && typed=$PREFIX
  for word in "$@"; do
    if (( nocase )); then
      [[ ${(L)word} == ${(L)typed}* ]] || continue
    else
      [[ $word == $typed* ]] || continue
    fi
    offered+=("$IPREFIX$word${suffix:# }")
  done
}
_describe() {
  local -a names
  names=(${${(P)${@[-1]}}%%:*})
  compadd -- $names
}
source $source_file

# complete_line LINE: the words of LINE at blanks, the last one being typed.
complete_line() {
  words=(${(s: :)1})
  [[ $1 == *' ' ]] && words+=('')
  CURRENT=${#words}
  PREFIX=${words[CURRENT]}
  IPREFIX=''
  compstate=(quote '')
  # as zsh does, an opening quote is not part of the word being completed
  if [[ $PREFIX == \'* ]]; then
    compstate[quote]="'"
    PREFIX=${PREFIX#\'}
  fi
  offered=()
  _tcalc
}

expect() {
  cases+=1
  complete_line "$1"
  if [[ "${offered[*]}" != "$2" ]]; then
    print -r -- "tcalc zsh completion of [$1]: got [${offered[*]}], want [$2]"
    failed+=1
  fi
}

# Options only before every other argument.
expect "tcalc --ut" "--utf8"
expect "tcalc --s" "--strict --simplify"
expect "tcalc --strict --e" "--explain"
expect "tcalc --plot=s" "--plot=svg"
expect "tcalc --digits " ""
expect "tcalc --digits 30 --a" "--accurate --analyze"
expect "tcalc 2 --ut" ""
# Switches, in quotes or with the backslash quoted; a value follows \v, \x, \d, \t and \l
# without a blank.
expect "tcalc '\\s" "\\s \\ss"
expect "tcalc \\\\s" "\\s \\ss"
expect "tcalc '\\v" "\\v"
expect "tcalc " "\\c \\s \\ss \\i \\m \\n \\w \\j \\d \\v \\x \\t \\l"
expect "tcalc '\\d' " ""
expect "tcalc \\\\x 3" ""
# Function names at the end of a term, whatever their case.
expect "tcalc sin(x)+co" "sin(x)+cos sin(x)+cot sin(x)+cosh sin(x)+coth"
expect "tcalc 2*ARCTA" "2*arctan 2*arctanh"
expect "tcalc x+" ""

# Every function of the help text, and no other name.
help=$("$program" --help | sed -n '/^Vordefinierte Funktionen sind:$/{n;p;}' | tr -d ',' |
  tr 'A-Z ' 'a-z\n' | sort)
all=$(for letter in {a..z}; do
  complete_line "tcalc x+$letter"
  (( ${#offered} )) && print -rl -- ${offered#x+}
done | sort)
cases+=1
if [[ -z $help || $help != $all ]]; then
  print "function names of the help text and of the zsh completion differ"
  failed+=1
fi
print "zsh completion: $cases cases, $failed failed"
(( failed == 0 ))
