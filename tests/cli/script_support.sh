# Sourced by the CLI's script tests after they set program: a work folder removed at the
# end, and the helpers that run the program and check what it said.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run ARGS...: runs the program with a time limit (a FIFO must never hang it); sets
# status, out and err.
run() {
    timeout 20 "$program" "$@" >out.txt 2>err.txt
    status=$?
    out="$(cat out.txt)"
    err="$(cat err.txt)"
}

expect() {  # expect STATUS STDOUT-REGEX STDERR-REGEX WHAT
    [ "$status" = "$1" ] || fail "$4: exit status $status, expected $1 (stdout: $out; stderr: $err)"
    [[ "$out" =~ $2 ]] || fail "$4: stdout '$out' does not match '$2'"
    [[ "$err" =~ $3 ]] || fail "$4: stderr '$err' does not match '$3'"
}
