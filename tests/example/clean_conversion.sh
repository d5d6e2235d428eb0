#!/usr/bin/env bash
# clean_conversion.sh BINARY HTML-FILE
# Converts HTML-FILE and fails unless the run exits 0 and every line on
# standard output is one of the progress lines of a normal run (the phases,
# the title and footer in use, the table progress and its trail). Any other
# line (a repaired tag, an unknown attribute, a wrong column count, a missing
# title or footer, a value that could not be converted) is shown and fails.
set -u
bin=$1
html=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$bin" "$html" "$tmp/out.fo" > "$tmp/out.txt" 2> "$tmp/err.txt"
status=$?
fail=0
if [ "$status" != 0 ]; then echo "exit status $status"; fail=1; fi
if [ -s "$tmp/err.txt" ]; then echo "standard error:"; cat "$tmp/err.txt"; fail=1; fi
if ! tail -n 1 "$tmp/out.txt" | grep -q '^all is done for file '; then
  echo "the run did not end with its closing line"; fail=1
fi

normal='^$'
normal+='|^starting table processing step 1 of 2 for table [0-9]+ depth [0-9]+$'
normal+='|^ retrieving table columns from non-col-spanned cells\.\.\.$'
normal+='|^ Table with Columns - parsing\.\.\. done$'
normal+='|^ Processing cells\.\.\.$'
normal+='|^ *[-+xX!]+$'
normal+='|^ *done$'
normal+='|^ table columns retrieved$'
normal+='|^ recalculating table column width\.\.\.$'
normal+='|^  cutting columns:$'
normal+='|^   none$'
normal+='|^   [0-9]+!? \([0-9.]+cm -> [0-9.]+cm\)$'
normal+='|^  adding values for columns:$'
normal+='|^(   [0-9]+ \([0-9.]+cm\))+ done$'
normal+='|^ processing table cells\.\.\.$'
normal+='|^done step 1 of table processing$'
normal+='|^starting table processing step 2 of 2 - depth [0-9]+$'
normal+='|^done all table processing$'
normal+='|^Using (Title|Footer) ".*"$'
normal+='|^setting up paragraphs\.\.\. done\.$'
normal+='|^analysing font structure\.\.\. done$'
normal+='|^converting special chars and writing out\.\.\. done$'
normal+='|^freeing memory\.\.\. done$'
normal+='|^all is done for file .*$'

if LC_ALL=C grep -a -v -E "$normal" "$tmp/out.txt" > "$tmp/unexpected.txt"; then
  echo "lines that a clean conversion does not print:"
  cat "$tmp/unexpected.txt"
  fail=1
fi
exit $fail
