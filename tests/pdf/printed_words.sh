#!/usr/bin/env bash
# printed_words.sh PAGESMITH-PDF WORK-DIR CASE-DIR...
# Prints each case's input.html with pagesmith-pdf and checks that the PDF's
# text (pdftotext) holds every word of the case's `printed` file (one per
# line, UTF-8) and that FOP found a glyph for every character. Exits with 77
# (skipped) when fop or pdftotext is not there.
set -u
script=$1
work=$2
shift 2
command -v fop > /dev/null && command -v pdftotext > /dev/null || { echo "fop or pdftotext missing: skipped"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
fail=0
for dir in "$@"; do
  name=$(basename "$dir")
  [ -f "$dir/printed" ] || continue
  "$script" "$dir/input.html" "$work/$name.pdf" > "$work/$name.out" 2> "$work/$name.log"
  status=$?
  if [ "$status" != 0 ]; then
    echo "$name: pagesmith-pdf exit status $status"; tail -5 "$work/$name.log"; fail=1; continue
  fi
  if grep -q "not available in font" "$work/$name.log"; then
    echo "$name: characters without a glyph:"; grep "not available in font" "$work/$name.log" | head -3; fail=1
  fi
  pdftotext -enc UTF-8 "$work/$name.pdf" "$work/$name.txt"
  while IFS= read -r word; do
    [ -n "$word" ] || continue
    grep -qF -- "$word" "$work/$name.txt" || { echo "$name: \"$word\" is not in the PDF"; fail=1; }
  done < "$dir/printed"
done
exit $fail
