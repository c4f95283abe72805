#!/usr/bin/env fish
# The fish completion: what fish offers for typed command lines, and its function names are
# those of the program's help text.
# Usage: fish.fish PROGRAM COMPLETION_SCRIPT
set -g program $argv[1]
source $argv[2]
set -g failed 0
set -g cases 0

# The words fish offers for the line, without their descriptions, joined by blanks.
function offered
    complete -C"$argv[1]" | string replace -r '\t.*' '' | string join ' '
end

function expect
    set cases (math $cases + 1)
    set -l got (offered $argv[1])
    if test "$got" != "$argv[2]"
        printf 'tcalc fish completion of [%s]: got [%s], want [%s]\n' $argv[1] "$got" $argv[2]
        set failed (math $failed + 1)
    end
end

# Options only before every other argument.
expect 'tcalc --ut' '--utf8'
expect 'tcalc --s' '--simplify --strict'
expect 'tcalc --strict --e' '--explain'
expect 'tcalc --plot=s' '--plot=svg'
expect 'tcalc --digits 30 --a' '--accurate --analyze'
expect 'tcalc 2 --ut' ''
expect 'tcalc \\\\d 3 --ut' ''
# Switches, in quotes or with the backslash quoted; after a switch alone comes its value.
expect "tcalc '\\s" '\s \ss'
expect 'tcalc \\\\s' '\s \ss'
expect "tcalc '\\d" '\d \d1'
expect "tcalc '\\d' " ''
expect 'tcalc \\\\v ' ''
# Function names at the end of a term, whatever their case, also inside quotes.
expect 'tcalc sin(x)+co' 'sin(x)+cos sin(x)+cosh sin(x)+cot sin(x)+coth'
expect "tcalc '2*ARCTA" '2*arctan 2*arctanh'
expect 'tcalc x+' ''

# Every function of the help text, and no other name.
set -l help ($program --help | sed -n '/^Vordefinierte Funktionen sind:$/{n;p;}' | tr -d ',' | tr 'A-Z ' 'a-z\n' | sort)
set -l all (for letter in a b c d e f g h i j k l m n o p q r s t u v w x y z
        complete -C"tcalc x+$letter" | string replace -r '\t.*' '' | string replace 'x+' ''
    end | sort)
set cases (math $cases + 1)
if test -z "$help"; or test "$help" != "$all"
    echo 'function names of the help text and of the fish completion differ'
    set failed (math $failed + 1)
end
echo "fish completion: $cases cases, $failed failed"
test $failed = 0
