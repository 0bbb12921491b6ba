#!/usr/bin/env bash
# scripts/run on a build that is up to date, as a new user meets it:
#   scripts_run.sh SOURCE_DIR BUILD_DIR
# Without a display it converts the example; "scripts/run ARGS" runs
# trackfold-cli without building again; with a display (Xvfb) it copies the
# example to the window's default input and starts the window.
source "$(dirname "$0")/lib.sh"
source_dir=$1 build=$2

# scripts/run installs missing packages first; a test does not.
missing=$(source "$source_dir/scripts/common.sh" && missing_packages "${PACKAGES[@]}")
[ -z "$missing" ] || skip "scripts/run would install packages first: $(echo $missing)"

home=$scratch/home
mkdir -p "$home"
# A home of its own, without user folders: the documents folder is ~/Documents
# for the window, while xdg-user-dir names the home itself.
run_script() {
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" TRACKFOLD_BUILD_DIR="$build" \
        TRACKFOLD_LOG_DIR="$scratch/logs" "$@"
}

run_script env -u DISPLAY -u WAYLAND_DISPLAY "$source_dir/scripts/run" \
    >"$scratch/out" 2>"$scratch/err" </dev/null
expect_status 0 $? "scripts/run without a display"
expect_contains "$(cat "$scratch/err")" "No display" "scripts/run without a display"
# The table: one tab-separated line per event.
[ "$(grep -c $'\t' "$scratch/out")" -gt 10 ] \
    || fail "scripts/run without a display printed no table: $(head -c 300 "$scratch/out")"

# The build above left its stamp; the next run starts the program at once.
run_script "$source_dir/scripts/run" --version >"$scratch/out" 2>"$scratch/err" </dev/null
expect_status 0 $? "scripts/run --version"
expect_eq "trackfold-cli 1.00" "$(cat "$scratch/out")" "scripts/run --version"
grep -q "Building" "$scratch/err" && fail "scripts/run --version built again: $(cat "$scratch/err")"

if [ ! -x "$build/ui/trackfold" ]; then
    echo "note: the window is not built; its first run is not checked"
    finish
fi
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed (apt-get install xvfb xauth)"
command -v xwininfo >/dev/null || skip "xwininfo is not installed (apt-get install x11-utils)"

# With a display the example goes where the window looks, and the window opens.
expected=$home/Documents/Trackfold/Midi_F1.mid
cat >"$scratch/session" <<'SESSION'
#!/usr/bin/env bash
"$@" >"$SCRATCH/window.out" 2>"$SCRATCH/window.err" &
pid=$!
for _ in $(seq 1 100); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Trackfold"'; then
        echo "window shown" >"$SCRATCH/result"
        break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0
SESSION
run_script env -u WAYLAND_DISPLAY SCRATCH="$scratch" \
    xvfb-run -a bash "$scratch/session" "$source_dir/scripts/run" </dev/null
[ -f "$expected" ] || fail "the example is not at $expected: $(cat "$scratch/window.err")"
cmp -s "$expected" "$source_dir/examples/Midi_F1.mid" || fail "$expected is not the example"
expect_contains "$(cat "$scratch/window.err")" "Copied the example to $expected" "first run"
[ -f "$scratch/result" ] || fail "the window did not open: $(cat "$scratch/window.err")"
finish
