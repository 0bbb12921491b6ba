#!/usr/bin/env bash
# The scripts' package step, with stand-ins for dpkg-query, apt-get, apt-cache
# and sudo first on PATH that record their calls:
#   install_step.sh SOURCE_DIR
# Some packages missing: exactly those are installed (one apt-get update, one
# apt-get install); none missing: apt is not called; a package the archive
# lacks is named and left out; a failing apt-get install makes scripts/run
# exit non-zero with the end of its log.
source "$(dirname "$0")/lib.sh"
source_dir=$1

bin=$scratch/bin
calls=$scratch/calls
mkdir -p "$bin"
# dpkg-query -W -f=FORMAT PKG...: like the real one, prints the packages it
# knows (the "installed" list) and exits 1 when any other was asked for.
cat >"$bin/dpkg-query" <<'EOF'
#!/bin/bash
status=0
for p in "${@:3}"; do
    if grep -qxF "$p" <<<"${STANDIN_INSTALLED// /$'\n'}"; then
        echo "$p installed"
    else
        echo "dpkg-query: no packages found matching $p" >&2
        status=1
    fi
done
exit $status
EOF
cat >"$bin/apt-get" <<'EOF'
#!/bin/bash
echo "apt-get $*" >>"$STANDIN_CALLS"
if [ "${*: -1}" != update ] && [ -n "${STANDIN_INSTALL_FAILS:-}" ]; then
    echo "E: Unable to fetch some archives"
    exit 100
fi
EOF
cat >"$bin/apt-cache" <<'EOF'
#!/bin/bash
p=${*: -1}
grep -qxF "$p" <<<"${STANDIN_ABSENT// /$'\n'}" && exit 100
echo "Package: $p"
EOF
printf '#!/bin/bash\nexec "$@"\n' >"$bin/sudo"
chmod +x "$bin"/*

# with_standins INSTALLED ABSENT COMMAND...: COMMAND with the stand-ins, its
# output in $scratch/out and the recorded apt calls in $calls.
with_standins() {
    local installed=$1 absent=$2
    shift 2
    : >"$calls"
    env PATH="$bin:$PATH" STANDIN_CALLS="$calls" STANDIN_INSTALLED="$installed" \
        STANDIN_ABSENT="$absent" TRACKFOLD_LOG_DIR="$scratch/logs" \
        TRACKFOLD_BUILD_DIR="$scratch/build" "$@" >"$scratch/out" 2>&1 </dev/null
}

# ensure_packages as the scripts run it.
ensure=(bash -c 'set -euo pipefail; source "$0/scripts/common.sh"; ensure_packages "$@"'
    "$source_dir")

with_standins "aaa ccc" "" "${ensure[@]}" aaa bbb ccc ddd
expect_status 0 $? "ensure_packages with two packages missing"
expect_eq "apt-get update
apt-get install -y --no-install-recommends bbb ddd" "$(sed 's/^env DEBIAN_FRONTEND=noninteractive //' "$calls")" \
    "the apt calls with bbb and ddd missing"

with_standins "aaa bbb" "" "${ensure[@]}" aaa bbb
expect_status 0 $? "ensure_packages with nothing missing"
expect_eq "" "$(cat "$calls")" "the apt calls with nothing missing"

with_standins "aaa" "zzz" "${ensure[@]}" aaa bbb zzz
expect_status 0 $? "ensure_packages with a package the archive lacks"
expect_contains "$(cat "$scratch/out")" "zzz is not in this system's archive" "the absent package"
expect_eq "apt-get install -y --no-install-recommends bbb" "$(tail -n 1 "$calls")" \
    "the install without the absent package"

STANDIN_INSTALL_FAILS=1 with_standins "" "" "$source_dir/scripts/run" --version
status=$?
[ "$status" -ne 0 ] || fail "scripts/run went on after a failed apt-get install"
expect_contains "$(cat "$scratch/out")" "E: Unable to fetch some archives" "the end of the log"
expect_contains "$(cat "$scratch/out")" "full log: $scratch/logs/packages.log" "the log's path"
[ ! -e "$scratch/build" ] || fail "scripts/run configured a build after a failed install"

finish
