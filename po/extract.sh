#!/bin/sh
# SPDX-License-Identifier: MIT
# extract.sh SOURCE_DIR OUT.pot: the texts marked with tr() and N_() in the
# engine and the command line, as a message template. Locations name the file
# only, so the template changes when texts do, not when lines move.
set -eu
src=$1
out=$2
cd "$src"
find engine cli -name '*.h' -o -name '*.cpp' | LC_ALL=C sort \
    | xgettext --language=C++ --from-code=UTF-8 --keyword --keyword=tr --keyword=N_ \
        --add-location=file --sort-by-file --package-name=trackfold \
        --msgid-bugs-address=none --files-from=- --output="$out"
