#!/usr/bin/env bash
# run_case.sh BINARY CASE_DIR
# Converts CASE_DIR/input.html (with the options of CASE_DIR/options, the
# arguments of CASE_DIR/args) and compares the FO file and standard output
# with expected.fo and expected.out byte for byte. With UPDATE=1 it writes the
# expectations instead (review them before committing).
set -u
bin=$1
dir=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
args=()
if [ -f "$dir/args" ]; then read -r -a args < "$dir/args"; fi
# Options stand before the file names (--css FILE...).
options=()
if [ -f "$dir/options" ]; then read -r -a options < "$dir/options"; fi
(cd "$dir" && "$bin" "${options[@]}" input.html "$tmp/out.fo" "${args[@]}" > "$tmp/out.txt" 2> "$tmp/err.txt")
status=$?
if [ "${UPDATE:-0}" = 1 ]; then
  cp "$tmp/out.fo" "$dir/expected.fo" 2>/dev/null || rm -f "$dir/expected.fo"
  cp "$tmp/out.txt" "$dir/expected.out"
  exit 0
fi
fail=0
expected_status=0
[ -f "$dir/status" ] && expected_status=$(cat "$dir/status")
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"; fail=1
fi
if [ -s "$tmp/err.txt" ]; then
  echo "unexpected standard error:"; head -20 "$tmp/err.txt"; fail=1
fi
if [ -f "$dir/expected.fo" ]; then
  if ! cmp -s "$dir/expected.fo" "$tmp/out.fo"; then
    echo "FO output differs:"; diff -a "$dir/expected.fo" "$tmp/out.fo" | head -40; fail=1
  fi
elif [ -e "$tmp/out.fo" ]; then
  echo "an FO file was written but none was expected"; fail=1
fi
# Debug traces print value addresses ("@0x..."), whose digits differ from run
# to run; only their place in the line is compared.
mask() { LC_ALL=C sed -E 's/@0x[0-9a-f]+/@0x?/g' "$1"; }
mask "$dir/expected.out" > "$tmp/expected.masked" 2>/dev/null
mask "$tmp/out.txt" > "$tmp/out.masked"
if ! cmp -s "$tmp/expected.masked" "$tmp/out.masked"; then
  echo "standard output differs:"; diff -a "$tmp/expected.masked" "$tmp/out.masked" | head -40; fail=1
fi
exit $fail
