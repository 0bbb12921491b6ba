# Helpers of the checks in this folder. Source it.
set -uo pipefail

failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_status WANTED GOT WHAT
expect_status() {
    [ "$1" = "$2" ] || fail "$3: exit status $2, expected $1"
}

# expect_eq WANTED GOT WHAT
expect_eq() {
    [ "$1" = "$2" ] || fail "$3: got '$2', expected '$1'"
}

# expect_contains TEXT PART WHAT
expect_contains() {
    grep -qF -- "$2" <<<"$1" || fail "$3: '$2' missing from: $1"
}

# skip REASON: CTest counts the test as skipped (SKIP_RETURN_CODE 77).
skip() {
    echo "skipped: $*"
    exit 77
}

# A scratch folder removed on exit.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}
