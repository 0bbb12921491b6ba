#!/usr/bin/env bash
# What the bash completion of trackfold-cli offers:
#   completion.sh trackfold-cli.bash-completion
source "$(dirname "$0")/lib.sh"
completion=$1
framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || skip "bash-completion is not installed"

mkdir -p "$scratch/songs/sub" "$scratch/songs/out dir"
touch "$scratch/songs/a.mid" "$scratch/songs/b.MIDI" "$scratch/songs/notes.txt" \
    "$scratch/songs/sub/c.mid"

# complete_line TEXT: the sorted candidates, on one line, for the end of the
# command line "trackfold-cli TEXT", split into words as bash splits it
# ("--output=x" gives "--output", "=", "x").
complete_line() {
    (
        cd "$scratch/songs" || exit 1
        source "$framework"
        source "$completion"
        compopt() { :; } # only valid while bash itself completes
        COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
        COMP_LINE="trackfold-cli $1"
        COMP_POINT=${#COMP_LINE}
        local parts part
        read -ra parts <<<"$COMP_LINE"
        [[ $COMP_LINE == *" " ]] && parts+=("")
        COMP_WORDS=()
        for part in "${parts[@]}"; do
            if [[ $part == --*=* ]]; then
                COMP_WORDS+=("${part%%=*}" "=" "${part#*=}")
            else
                COMP_WORDS+=("$part")
            fi
        done
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMPREPLY=()
        _trackfold_cli trackfold-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
    )
}

# INPUT: MIDI files (either case) and folders, nothing else.
expect_eq "a.mid b.MIDI out dir sub " "$(complete_line "")" "INPUT"
expect_eq "sub/c.mid " "$(complete_line sub/)" "INPUT in a folder"
# After "--" a word that starts with a dash is an INPUT too.
expect_eq "" "$(complete_line "-- -")" "INPUT after --"

# Options.
expect_eq "--output-dir= --output= " "$(complete_line --out)" "--out"
options=$(complete_line -)
for option in -o --output= -d --output-dir= -n --no-clobber -r --recursive -j --jobs= \
    --table --verify --byte-order -q --quiet -v --verbose -h --help -V --version; do
    grep -qw -- "$option" <<<"$options" || fail "'-' does not offer $option"
done

# -o takes any file name, -d a folder, in every spelling.
expect_eq "a.mid b.MIDI notes.txt out dir sub " "$(complete_line "-o ")" "-o"
expect_eq "a.mid b.MIDI notes.txt out dir sub " "$(complete_line "--output=")" "--output="
expect_eq "a.mid b.MIDI notes.txt out dir sub " "$(complete_line "-qo ")" "-qo"
expect_eq "out dir sub " "$(complete_line "-d ")" "-d"
expect_eq "out dir sub " "$(complete_line "--output-dir ")" "--output-dir"
expect_eq "out dir sub " "$(complete_line "--output-dir=")" "--output-dir="
# -j: a number of jobs.
expect_contains "$(complete_line "-j ")" "1" "-j"

finish
