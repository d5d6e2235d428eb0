#!/usr/bin/env bash
# convert.sh [OUTPUT-FOLDER]
#
# Converts the shipped example, examples/sample.html, to sample.fo in
# OUTPUT-FOLDER (default: the current folder) with the pagesmith built in
# build/, and renders it to sample.pdf there when Apache FOP (`fop`) is on the
# PATH, with the fonts of data/fop.xconf (build/pagesmith-pdf does both in one
# command; this script keeps the FO file and checks FOP's log). It builds
# nothing itself: build first (cmake -S . -B build && cmake --build build).
#
# Environment:
#   PAGESMITH  the executable to use (default: build/pagesmith of this source tree)
#
# Exit status: 0 when sample.fo was written, and sample.pdf too if fop is
# there; 1 when the conversion failed, FOP failed, or FOP reports content
# drawn past the edge of a page or characters without a glyph; 2 when there
# is no pagesmith executable.
#
# docs/sample-page.png is the first page of sample.pdf, made with
#   pdftoppm -png -r 72 -singlefile -f 1 -l 1 sample.pdf docs/sample-page
set -u

here=$(cd "$(dirname "$0")" && pwd)
bin=${PAGESMITH:-$here/../build/pagesmith}
out=${1:-.}

if [ ! -x "$bin" ] || [ -d "$bin" ]; then
  echo "convert.sh: no pagesmith executable at $bin; build it first:" >&2
  echo "  cmake -S . -B build && cmake --build build -j2" >&2
  exit 2
fi
mkdir -p "$out" || exit 1
fo="$out/sample.fo"
pdf="$out/sample.pdf"

echo "== pagesmith $here/sample.html $fo"
"$bin" "$here/sample.html" "$fo" || { echo "convert.sh: pagesmith failed" >&2; exit 1; }
echo "== wrote $fo"

if ! command -v fop > /dev/null 2>&1; then
  echo "== fop is not on the PATH, so no PDF was made; install Apache FOP (Debian: apt-get install fop)"
  echo "   and run this again, or render the FO file with any XSL-FO renderer"
  exit 0
fi

config=$here/../data/fop.xconf
echo "== fop -c $config -fo $fo -pdf $pdf"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
rm -f "$pdf"
fop -c "$config" -fo "$fo" -pdf "$pdf" > "$log" 2>&1 < /dev/null
status=$?
if [ "$status" != 0 ] || [ ! -s "$pdf" ]; then
  cat "$log" >&2
  echo "convert.sh: fop failed (exit status $status)" >&2
  exit 1
fi
# Content that does not fit the page is drawn past its edge: lost on paper.
if grep -E 'exceed (its viewport|the available area)' "$log" >&2; then
  echo "convert.sh: fop drew content past the edge of a page" >&2
  exit 1
fi
# A character that no configured font has prints as '#'.
if grep 'not available in font' "$log" >&2; then
  echo "convert.sh: fop found no glyph for some characters (are the fonts of $config installed?)" >&2
  exit 1
fi
pages=$(grep -oE 'Rendered page #[0-9]+' "$log" | tail -n 1 | grep -oE '[0-9]+$')
echo "== wrote $pdf (${pages:-?} page(s))"
