#!/usr/bin/env bash
# Builds the libFuzzer target with clang (address and undefined-behaviour
# sanitizers) and runs it for SECONDS (default 120), seeded with the inputs of
# the end-to-end suite and the crash regressions in fuzz/regressions/, with
# the tokens of fuzz/*.dict; then the CSS engine's own target as long,
# with the tokens of fuzz/css.dict.
# Fails on any crash, leak, sanitizer report or timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGESMITH_FUZZ=ON -DPAGESMITH_TESTS=OFF > /dev/null
cmake --build build-fuzz -j2 --target fuzz_convert fuzz_css > /dev/null
corpus=$(mktemp -d); trap 'rm -rf "$corpus"' EXIT
for f in tests/e2e/cases/*/input.html fuzz/regressions/*; do
  [ -f "$f" ] && cp "$f" "$corpus/$(echo "$f" | tr '/' '_')"
done
# Every known crash input must still pass.
if ls fuzz/regressions/* > /dev/null 2>&1; then
  build-fuzz/fuzz_convert -runs=0 fuzz/regressions/*
fi
# libFuzzer takes one dictionary: the tokens of all of them.
cat fuzz/*.dict > "$corpus.dict"
trap 'rm -rf "$corpus" "$corpus.dict"' EXIT
build-fuzz/fuzz_convert "$corpus" -dict="$corpus.dict" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/
# The CSS engine alone, seeded with the style sheets of the tests.
css_corpus=$(mktemp -d); trap 'rm -rf "$corpus" "$corpus.dict" "$css_corpus"' EXIT
i=0
for f in tests/e2e/cases/*/*.css; do
  [ -f "$f" ] && cp "$f" "$css_corpus/seed$((i++)).css"
done
printf 'a{color:red}' > "$css_corpus/seed-min.css"
build-fuzz/fuzz_css "$css_corpus" -dict=fuzz/css.dict -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/css-
