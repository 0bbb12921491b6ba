#!/usr/bin/env bash
# Every option of trackfold-cli is in its manual page and its bash completion,
# and the two list the same options:
#   options_documented.sh PATH/TO/trackfold-cli trackfold-cli.1 trackfold-cli.bash-completion
source "$(dirname "$0")/lib.sh"
cli=$1 page=$2 completion=$3

# Option names in the lines of --help that start with a dash.
"$cli" --help >"$scratch/help" 2>&1 || fail "trackfold-cli --help: exit status $?"
help_options=$(grep -E '^ +-' "$scratch/help" | sed -E -e 's/^ +//' -e 's/  .*//' \
    | grep -oE -- '(^|[ ,])--?[A-Za-z][A-Za-z-]*' | tr -d ' ,' | sort -u)

# Option names in the tags of the OPTIONS section (the line after each .TP).
page_options=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed -n '/^\.TP/{n;p}' \
    | sed 's/\\-/-/g' | grep -oE -- '(^|[ "])--?[A-Za-z][A-Za-z-]*' | tr -d ' "' | sort -u)

# The words the completion offers for "-".
completion_options=$(sed -n "/compgen -W '-/,/'/p" "$completion" \
    | sed -e "s/.*compgen -W '//" -e "s/'.*//" | tr ' ' '\n' | sed 's/=$//' \
    | grep -E -- '^--?[A-Za-z]' | sort -u)

[ -n "$help_options" ] || fail "no option found in trackfold-cli --help"
[ -n "$page_options" ] || fail "no option found in $page"
[ -n "$completion_options" ] || fail "no option found in $completion"

for option in $help_options; do
    grep -qxF -- "$option" <<<"$page_options" || fail "$option of --help is not in the manual page"
    grep -qxF -- "$option" <<<"$completion_options" \
        || fail "$option of --help is not in the completion"
done
missing=$(comm -3 <(echo "$page_options") <(echo "$completion_options"))
[ -z "$missing" ] || fail "the manual page and the completion differ in: $(echo $missing)"
finish
