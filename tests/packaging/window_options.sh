#!/usr/bin/env bash
# The window program's options answer without a display:
#   window_options.sh PATH/TO/trackfold
source "$(dirname "$0")/lib.sh"
window=$1

# No display of any kind, a home of its own.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$scratch/home" \
        XDG_CONFIG_HOME="$scratch/home/.config" "$window" "$@" >"$scratch/out" 2>"$scratch/err"
    status=$?
    out=$(cat "$scratch/out")
    err=$(cat "$scratch/err")
}
mkdir -p "$scratch/home/.config"

run --help
expect_status 0 "$status" "--help"
expect_contains "$out" "--default-input" "--help"
expect_contains "$out" "--version" "--help"
expect_contains "$out" "midifile" "--help"

run --help-all
expect_status 0 "$status" "--help-all"
expect_contains "$out" "-style" "--help-all lists Qt's options"

for option in --version -v; do
    run "$option"
    expect_status 0 "$status" "$option"
    expect_eq "Trackfold 1.00" "$out" "$option"
done

# The default input follows the documents folder: ~/Documents when no user
# folders are set up, else the one user-dirs.dirs names.
run --default-input
expect_status 0 "$status" "--default-input"
expect_eq "$scratch/home/Documents/Trackfold/Midi_F1.mid" "$out" "--default-input, no user folders"
mkdir -p "$scratch/home/Documenti"
echo 'XDG_DOCUMENTS_DIR="$HOME/Documenti"' >"$scratch/home/.config/user-dirs.dirs"
run --default-input
expect_eq "$scratch/home/Documenti/Trackfold/Midi_F1.mid" "$out" "--default-input, user-dirs.dirs"

# Qt's own options are accepted before the ones above.
run -style fusion --version
expect_status 0 "$status" "-style fusion --version"

# Wrong usage: a clear message on stderr, nothing on stdout, status 2.
run --bogus
expect_status 2 "$status" "--bogus"
expect_contains "$err" "bogus" "--bogus"
expect_contains "$err" "trackfold --help" "--bogus"
expect_eq "" "$out" "--bogus writes nothing on stdout"
run one.mid two.mid
expect_status 2 "$status" "two midifiles"

# No display and nothing that only prints: a plain message, not Qt's abort.
run
expect_status 1 "$status" "no display"
expect_contains "$err" "DISPLAY" "no display"

finish
