#!/usr/bin/env bash
# The manual pages format without a single warning and have the usual
# sections, in Italian for the Italian pages (NAME.it.1):
#   man_pages.sh PAGE...
source "$(dirname "$0")/lib.sh"
command -v groff >/dev/null || skip "groff is not installed (apt-get install groff-base)"

for page in "$@"; do
    warnings=$(groff -ww -man -Tutf8 -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
    text=$(groff -man -Tutf8 -P -cbou "$page" 2>/dev/null)
    sections=(NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "SEE ALSO")
    [[ $page != *.it.1 ]] || sections=(NOME SINTASSI DESCRIZIONE OPZIONI "STATO DI USCITA" "VEDERE ANCHE")
    for section in "${sections[@]}"; do
        grep -qx "$section" <<<"$text" || fail "$page: no $section section"
    done
done
finish
