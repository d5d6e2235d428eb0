#!/bin/sh
# page_counts.sh BUILD_DIR [PAGE.html...]
#
# Prints, for each page (default: every page of ../shared/corpus beside the
# worktree), the pages of its PDF through BUILD_DIR/pagesmith-pdf (the print
# style sheet on) and the pages WeasyPrint gives it on the same paper (A4,
# 2 cm margins, as the print sheet's @page), their ratio, and "miss" where
# the two differ by more than a quarter. Ends with a line counting the
# misses; exit status 1 when there is any.
#
# Needs pdfinfo and the weasyprint command; slow (WeasyPrint lays out every
# page), so it is run by hand, not by ctest.
set -u
[ $# -ge 1 ] || { echo "usage: page_counts.sh BUILD_DIR [PAGE.html...]" >&2; exit 2; }
build=$(cd "$1" && pwd -P) || exit 2
shift
if [ $# -eq 0 ]; then
  here=$(cd "$(dirname "$0")" && pwd -P)
  set -- "$here"/../../../shared/corpus/*.html
fi
for tool in pdfinfo weasyprint; do
  command -v "$tool" > /dev/null 2>&1 || { echo "page_counts.sh: $tool not found" >&2; exit 2; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/page-counts.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
printf '@page { size: A4; margin: 2cm }\n' > "$tmp/a4.css"

pages() { pdfinfo "$1" 2> /dev/null | awk '/^Pages:/ { print $2 }'; }

"$build/pagesmith-pdf" -o "$tmp/ours" -j 2 "$@" > "$tmp/ours.log" 2>&1
misses=0
printf '%-58s %6s %6s %6s\n' page ours weasy ratio
for f in "$@"; do
  name=$(basename "$f" .html)
  ours=$(pages "$tmp/ours/$name.pdf")
  weasyprint -q -s "$tmp/a4.css" "$f" "$tmp/$name.weasy.pdf" > /dev/null 2>&1
  theirs=$(pages "$tmp/$name.weasy.pdf")
  verdict=$(awk -v a="${ours:-0}" -v b="${theirs:-0}" 'BEGIN {
    if (a == 0 || b == 0) { print "-", "miss"; exit }
    r = a / b; printf "%.2f %s\n", r, (r < 0.75 || r > 1.25) ? "miss" : "" }')
  case $verdict in *miss) misses=$((misses + 1)) ;; esac
  printf '%-58s %6s %6s %6s\n' "$name" "${ours:--}" "${theirs:--}" "$verdict"
done
echo "$misses of $# pages beyond a quarter of WeasyPrint's page count"
[ "$misses" -eq 0 ]
