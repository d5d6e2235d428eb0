#!/usr/bin/env bash
# render_with_fop.sh BINARY CONVERT-SCRIPT OUTPUT-FOLDER
# Runs the example's convert script with BINARY, so that Apache FOP renders
# the shipped example to a PDF in OUTPUT-FOLDER. Fails when the conversion or
# FOP fails, when FOP reports content drawn past the edge of a page, or when no
# PDF results, or when a character has no glyph in the shipped fonts. Exits
# with 77 (skipped) when fop is not on the PATH.
set -u
bin=$1
convert=$2
out=$3

if ! command -v fop > /dev/null 2>&1; then
  echo "skipped: fop is not on the PATH (install Apache FOP, e.g. apt-get install fop, to render the example)"
  exit 77
fi
rm -rf "$out"
PAGESMITH=$bin "$convert" "$out" || exit 1
if [ "$(head -c 5 "$out/sample.pdf" 2> /dev/null)" != "%PDF-" ]; then
  echo "$out/sample.pdf is not a PDF file"
  exit 1
fi
