# Shared by scripts/run, scripts/test, scripts/package and scripts/fuzz: the
# packages the project needs, and running a step with its output in a log
# file. Source it; do not run it.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${TRACKFOLD_BUILD_DIR:-$ROOT/build}
# Build and test output of the scripts; printed only when a step fails.
LOG_DIR=${TRACKFOLD_LOG_DIR:-$ROOT/build-logs}

# Debian 12 / Ubuntu 22.04 packages the build and the tests use.
PACKAGES=(
    cmake g++ make pkgconf
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-svg-dev libgl-dev
    # Translations: msgfmt and xgettext for po/, lupdate and lrelease (with
    # their CMake package) for the window's .ts files.
    gettext qt6-tools-dev qt6-l10n-tools
    python3 python3-mido
    # Tests compile the locales they run under (localedef) and read the C
    # library's Italian messages; the permission test runs as nobody.
    locales libc-l10n util-linux
    timidity freepats
    # Checks of the installed files and of the Debian package.
    groff-base appstream desktop-file-utils bash-completion dpkg-dev file
    xvfb xauth x11-utils
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: '$*' needs root and sudo is not available" >&2
        return 1
    fi
}

# Prints the given packages that are not installed, one a line.
missing_packages() {
    [ $# -gt 0 ] || return 0
    # One dpkg-query for all of them: unknown names print nothing on stdout.
    # dpkg-query exits 1 when any of them is unknown, which is the case this
    # function is for: under "set -e -o pipefail" that status would end the
    # caller's process substitution, and every package would look installed.
    local installed
    installed=$({ dpkg-query -W -f='${Package} ${db:Status-Status}\n' "$@" 2>/dev/null || true; } \
        | awk '$2 == "installed" { print $1 }')
    local p
    for p in "$@"; do
        grep -qxF "$p" <<<"$installed" || echo "$p"
    done
}

# Installs the packages (given, or PACKAGES) that are not installed yet, with
# one line on stdout and apt's output in $LOG_DIR/packages.log. A package that
# this system's archive does not have (libclang-rt-14-dev on Ubuntu 22.04,
# where clang's own packages hold its runtime) is named and left out.
ensure_packages() {
    local wanted=("$@") missing=() available=() p
    [ ${#wanted[@]} -gt 0 ] || wanted=("${PACKAGES[@]}")
    local list
    list=$(missing_packages "${wanted[@]}") || return 1
    [ -n "$list" ] || return 0
    mapfile -t missing <<<"$list"
    echo "Installing packages: ${missing[*]}..."
    mkdir -p "$LOG_DIR"
    local log=$LOG_DIR/packages.log
    : >"$log"
    run_logged "$log" as_root env DEBIAN_FRONTEND=noninteractive apt-get update || return 1
    for p in "${missing[@]}"; do
        if apt-cache show --no-all-versions "$p" >/dev/null 2>&1; then
            available+=("$p")
        else
            echo "  ($p is not in this system's archive; going on without it)"
        fi
    done
    [ ${#available[@]} -eq 0 ] && return 0
    run_logged "$log" as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${available[@]}"
}

# show_failure LOG STATUS COMMAND...: the end of LOG and its path, on stderr.
show_failure() {
    local log=$1 status=$2
    shift 2
    {
        echo "---- last lines of $log ----"
        tail -n "${TRACKFOLD_LOG_TAIL:-40}" "$log"
        echo "---- '$*' failed with status $status; full log: $log"
    } >&2
}

# run_logged LOG COMMAND...: runs COMMAND with its output appended to LOG. On
# failure prints the end of LOG and its path on stderr and returns the status.
run_logged() {
    local log=$1 status=0
    shift
    mkdir -p "$(dirname "$log")"
    "$@" >>"$log" 2>&1 </dev/null || status=$?
    [ "$status" -eq 0 ] || show_failure "$log" "$status" "$@"
    return "$status"
}

# configure_and_build BUILD_DIR [cmake options...]: configures BUILD_DIR when it
# has no CMakeCache.txt yet or options are given (a build reconfigures by itself
# when a CMakeLists.txt changes), then builds it.
configure_and_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/CMakeCache.txt" ] || [ $# -gt 0 ]; then
        cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" || return
    fi
    cmake --build "$dir" -j "${TRACKFOLD_JOBS:-$(nproc)}"
}

# A digest of the sources as they are now: the commit, the changes to tracked
# files and the untracked files that git does not ignore. Empty outside a git
# checkout, where nothing can be compared.
source_state() {
    git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1 || return 0
    {
        git -C "$ROOT" rev-parse HEAD 2>/dev/null || echo "no commit"
        git -C "$ROOT" diff HEAD --binary 2>/dev/null
        git -C "$ROOT" ls-files -z --others --exclude-standard \
            | (cd "$ROOT" && xargs -0 -r sha1sum)
    } | sha1sum | cut -d' ' -f1
}

# The runtime of libFuzzer and the sanitizers for the installed clang: its own
# package where the archive splits it out (Debian 12 and 13), part of clang's
# packages elsewhere.
clang_runtime_package() {
    local major
    major=$(clang --version 2>/dev/null | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
    [ -n "$major" ] && echo "libclang-rt-$major-dev"
}
