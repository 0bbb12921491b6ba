#!/bin/sh
# SPDX-License-Identifier: MIT
# check_catalogues.sh SOURCE_DIR SCRATCH [LUPDATE TS...]: every text of the
# sources has its translation in every language. The gettext catalogues
# (po/*.po) are merged with texts extracted afresh, the window's .ts files are
# updated by lupdate from every source of ui/, both in SCRATCH; a text with no
# translation (new, fuzzy, unfinished) or one no longer in the sources
# (obsolete, vanished) fails the check and is listed.
set -eu
src=$1
scratch=$2
shift 2
rm -rf "$scratch"
mkdir -p "$scratch"
failed=0

sh "$src/po/extract.sh" "$src" "$scratch/trackfold.pot"
for po in "$src"/po/*.po; do
    lang=$(basename "$po" .po)
    merged=$scratch/$lang.po
    msgmerge --quiet --no-fuzzy-matching "$po" "$scratch/trackfold.pot" -o "$merged"
    msgfmt --check --statistics -o /dev/null "$merged"
    for kind in untranslated only-fuzzy only-obsolete; do
        left=$(msgattrib --"$kind" --no-wrap "$merged" | grep '^#~ msgid \|^msgid ' | grep -v '^msgid ""$' || true)
        if [ -n "$left" ]; then
            echo "po/$lang.po: ${kind#only-} texts:" >&2
            echo "$left" >&2
            failed=1
        fi
    done
done

if [ $# -gt 0 ]; then
    lupdate=$1
    shift
    find "$src/ui" -name '*.cpp' -o -name '*.h' | LC_ALL=C sort >"$scratch/ui-sources"
    for ts in "$@"; do
        copy=$scratch/$(basename "$ts")
        cp "$ts" "$copy"
        "$lupdate" -locations none "@$scratch/ui-sources" -ts "$copy" >"$scratch/lupdate.log" 2>&1 \
            || { cat "$scratch/lupdate.log" >&2; exit 1; }
        left=$(grep -B2 'type="unfinished"\|type="vanished"\|type="obsolete"' "$copy" \
            | grep '<source>\|<translation' || true)
        if [ -n "$left" ]; then
            echo "$(basename "$ts"): texts without translation, or no longer in the sources:" >&2
            echo "$left" >&2
            failed=1
        else
            echo "$(basename "$ts"): every text translated"
        fi
    done
fi
exit $failed
