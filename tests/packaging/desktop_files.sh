#!/usr/bin/env bash
# The AppStream description and the desktop entry pass their validators and
# name each other:
#   desktop_files.sh ID.metainfo.xml ID.desktop
source "$(dirname "$0")/lib.sh"
metainfo=$1 desktop=$2
command -v appstreamcli >/dev/null || skip "appstreamcli is not installed (apt-get install appstream)"

appstreamcli validate --no-net --explain "$metainfo" >"$scratch/appstream" 2>&1 \
    || fail "appstreamcli validate: $(cat "$scratch/appstream")"
if command -v desktop-file-validate >/dev/null; then
    report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate: $report"
else
    echo "note: desktop-file-validate is not installed (apt-get install desktop-file-utils)"
fi

# The component's id is the desktop entry's file name, which it launches.
id=$(basename "$metainfo" .metainfo.xml)
expect_eq "$id.desktop" "$(basename "$desktop")" "desktop entry named by the component id"
grep -qF "<id>$id</id>" "$metainfo" || fail "$metainfo: <id> is not $id"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "$metainfo: does not launch $id.desktop"
finish
