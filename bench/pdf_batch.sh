#!/usr/bin/env bash
# Benchmark: renders a folder of pages to PDF twice, one page after another
# with FOP's command line (pagesmith-pdf IN OUT, FOP started per page, as
# before the batch form) and as one batch (pagesmith-pdf -o DIR, one Java VM,
# a thread per core), prints both wall-clock times and their ratio, and
# checks that every PDF has the same pdftotext text and page count in both.
# Needs fop, java, javac (for the driver), pdftotext and pdfinfo.
# usage: bench/pdf_batch.sh [PAGES-FOLDER]   (default: ../shared/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
pages=${1:-../shared/corpus}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPAGESMITH_TESTS=OFF > /dev/null
cmake --build build-bench -j2 > /dev/null
[ -f build-bench/pagesmith-fop.jar ] || { echo "no pagesmith-fop.jar: is a JDK (javac) installed?" >&2; exit 1; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
files=("$pages"/*.html)
echo "${#files[@]} pages in $pages"

start=$(date +%s.%N)
mkdir -p "$work/single"
for f in "${files[@]}"; do
  PAGESMITH_PDF_JAVA=none build-bench/pagesmith-pdf "$f" "$work/single/$(basename "$f" .html).pdf" \
    > /dev/null 2>&1 || echo "one by one: $f failed"
done
single=$(echo "$(date +%s.%N) - $start" | bc -l)

start=$(date +%s.%N)
build-bench/pagesmith-pdf -o "$work/batch" "${files[@]}" > /dev/null 2>&1 || echo "batch: a page failed"
batch=$(echo "$(date +%s.%N) - $start" | bc -l)

same=0 differ=0
for f in "$work"/single/*.pdf; do
  b=$work/batch/$(basename "$f")
  if [ -f "$b" ] && [ "$(pdftotext "$f" - 2> /dev/null)" = "$(pdftotext "$b" - 2> /dev/null)" ] &&
     [ "$(pdfinfo "$f" | grep '^Pages:')" = "$(pdfinfo "$b" | grep '^Pages:')" ]; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "differs: $(basename "$f")"
  fi
done
printf 'one by one: %.1f s   batch (%s cores): %.1f s   ratio: %.3f\n' "$single" "$(nproc)" "$batch" \
  "$(echo "$batch / $single" | bc -l)"
echo "PDFs with the same text and page count: $same; differing: $differ"
