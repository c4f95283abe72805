# fish completion for tcalc: the -- options before all other arguments, the switches, and
# function names inside a term.

# Whether every argument before the one being completed is an option (or the count of
# --digits), so that another option may follow.
function __tcalc_options_allowed
    set -l words (commandline -opc)
    set -e words[1]
    set -l previous ''
    for word in $words
        if not string match -q -- '--*' $word; and test "$previous" != --digits
            return 1
        end
        set previous $word
    end
    return 0
end

# Whether the argument before the one being completed is a switch given alone, which takes
# the next argument as its value.
function __tcalc_after_valued_switch
    set -l words (commandline -opc)
    test (count $words) -gt 1; and string match -qri -- '^\\\\[dvxtl]$' $words[-1]
end

# The switches, offered where a switch may begin. fish ends a completion with a blank, so
# \v, \x, \t and \l take their value as the next argument; \d1 is offered beside \d, which
# would take a term that follows as its order.
function __tcalc_switches
    set -l current (commandline -ct)
    string match -q -- '-*' $current; and return
    __tcalc_after_valued_switch; and return
    for switch in c s ss i m n w j d d1 v x t l
        printf '%s\n' "\\$switch"
    end
end

# The function names for the name being typed at the end of a term, with the term before it.
function __tcalc_functions
    # the token as typed, without its opening quote: fish matches against the text inside it
    set -l current (string replace -r -- '^[\'"]' '' (commandline -ct))
    string match -q -- '-*' $current; and return
    string match -qr -- '^\\\\' $current; and return
    __tcalc_after_valued_switch; and return
    set -l name (string match -r -- '[[:alnum:]]*$' $current)
    test -n "$name"; or return
    set -l head (string sub -l (math (string length -- $current) - (string length -- $name)) -- $current)
    for function in exp ln log ld sqr sqrt sin cos tan cot arcsin arccos arctan arccot sinh cosh \
        tanh coth arcsinh arccosh arctanh arccoth int trunc round frac sgn abs zero ceil floor \
        heav phase rnd
        string match -q -- (string lower -- $name)'*' $function; and printf '%s\n' "$head$function"
    end
end

complete -c tcalc -f
complete -c tcalc -n __tcalc_options_allowed -l help -d 'diese Hilfe mit den Optionen'
complete -c tcalc -n __tcalc_options_allowed -l version -d 'Programmname und Version'
complete -c tcalc -n __tcalc_options_allowed -l utf8 -d 'Umlaute in UTF-8'
complete -c tcalc -n __tcalc_options_allowed -l strict -d 'Status 1 nach einer Fehlermeldung'
complete -c tcalc -n __tcalc_options_allowed -l explain -d 'Syntaxfehler erklären'
complete -c tcalc -n __tcalc_options_allowed -l simplify -d 'Ergebnisse vereinfacht'
complete -c tcalc -n __tcalc_options_allowed -l accurate -d 'adaptiv auf volle Genauigkeit'
complete -c tcalc -n __tcalc_options_allowed -l analyze -d 'Kurvendiskussion'
complete -c tcalc -n __tcalc_options_allowed -l digits -x -d 'Werte mit N gültigen Stellen'
complete -c tcalc -n __tcalc_options_allowed -l plot -a 'svg text' -d 'Graph des Terms'
complete -c tcalc -n __tcalc_options_allowed -l interactive -d 'Sitzung'
complete -c tcalc -n 'not __tcalc_after_valued_switch' -a '(__tcalc_switches)'
complete -c tcalc -a '(__tcalc_functions)'
