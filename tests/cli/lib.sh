# Shared by the command-line tests (sourced): a scratch folder removed at exit with whatever the
# test left running, and pass/fail counting.
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
failures=0 passes=0

check() {  # check NAME COMMAND...: counts a pass when the command succeeds
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "FAILED: $name"; fi
}
contains() { grep -qF -- "$2" "$1" || { echo "'$2' not in $1:"; cat "$1"; return 1; }; }
not_contains() { ! grep -qF -- "$2" "$1" || { echo "'$2' in $1:"; cat "$1"; return 1; }; }

finish() {  # the closing line, and the script's status
  echo "$passes passed, $failures failed"
  [ $failures -eq 0 ]
}
