#!/bin/sh
# SPDX-License-Identifier: MIT
# make_locales.sh DIR LOCALE...: compiles each LOCALE (e.g. it_IT.UTF-8) into
# DIR with localedef, for tests that run the programs with LOCPATH=DIR. The
# system's own locales and settings stay as they are.
set -eu
dir=$1
shift
mkdir -p "$dir"
for locale in "$@"; do
    [ -f "$dir/$locale/LC_CTYPE" ] && continue
    # Built beside the final folder and renamed, so that a test never sees a
    # half-written locale.
    tmp=$(mktemp -d "$dir/.$locale.XXXXXX")
    # -c: localedef exits 1 for harmless warnings in some locale sources.
    localedef -c -i "${locale%%.*}" -f "${locale#*.}" "$tmp/$locale" || true
    if [ ! -f "$tmp/$locale/LC_CTYPE" ]; then
        echo "make_locales.sh: localedef could not build $locale (is the 'locales' package installed?)" >&2
        rm -rf "$tmp"
        exit 1
    fi
    mv "$tmp/$locale" "$dir/$locale" 2>/dev/null || true
    rm -rf "$tmp"
done
