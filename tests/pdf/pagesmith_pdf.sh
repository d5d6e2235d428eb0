#!/usr/bin/env bash
# pagesmith_pdf.sh SCRIPT PAGE WORK-DIR
# Checks pagesmith-pdf (SCRIPT, with pagesmith and fop.xconf beside it as in
# the build tree) on its command line, without fop, with a stand-in fop that
# records what it is given, and, when Apache FOP is on the PATH, renders PAGE
# (text in every script the fonts cover, and an image) for real. Exits with 77
# (skipped) when everything else passed but fop is not there.
set -u
script=$1
page=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
fail=0
bad() { echo "FAIL: $*"; fail=1; }

rm -rf "$work"
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp

# The page in a folder whose name a URI must escape, its image beside it.
dir="$work/a dir #1%&x"
mkdir -p "$dir/images"
cp "$page" "$dir/page.html"
base64 -d > "$dir/images/dot.png" <<'EOF'
iVBORw0KGgoAAAANSUhEUgAAAAgAAAAICAMAAADz0U65AAAAA1BMVEUwYMB9iHFdAAAADElEQVQI12NgoA4AAABIAAH/myMhAAAAAElFTkSuQmCC
EOF

# A wrong command line: the usage text and 2.
for n in 0 1 3; do
  set -- "$dir/page.html" "$work/u.pdf" extra
  "$script" "${@:1:$n}" > "$work/out" 2> "$work/err"
  status=$?
  [ "$status" = 2 ] || bad "$n arguments: exit status $status, expected 2"
  grep -q '^usage: pagesmith-pdf .*IN.html OUT.pdf$' "$work/err" || bad "$n arguments: no usage text"
done

# No fop on the PATH (only the tools a shell script needs): 127 and a clear
# message, before anything is converted.
mkdir -p "$work/tools"
for t in sh dirname mktemp rm sed od tr grep cat; do ln -s "$(command -v "$t")" "$work/tools/$t"; done
PATH=$work/tools "$script" "$dir/page.html" "$work/nofop.pdf" > "$work/out" 2> "$work/err"
status=$?
[ "$status" = 127 ] || bad "without fop: exit status $status, expected 127"
grep -q '^pagesmith-pdf: fop not found' "$work/err" || bad "without fop: no message saying so"
[ ! -e "$work/nofop.pdf" ] || bad "without fop: a PDF was written"

# With the stand-in: FOP is given the shipped configuration, with the page's
# folder as the base for relative paths; an output name starting with '-' is
# written as such; no temporary file stays.
stub() { PATH="$here/stub:$PATH" STUB_LOG="$work/stub" PAGESMITH_PDF_JAVA=none "$@"; }
rm -f "$work/stub.args" "$work/stub.xconf"
(cd "$work" && stub "$script" -v "$dir/page.html" -out.pdf > "$work/out" 2> "$work/err")
status=$?
[ "$status" = 0 ] || bad "stand-in fop: exit status $status, expected 0"
grep -q '^all is done for file ' "$work/out" || bad "stand-in fop: pagesmith's messages are not passed on with -v"
[ -s "$work/-out.pdf" ] || bad "stand-in fop: $work/-out.pdf was not written"
uri=$(sed -n 's|.*<base>\(.*\)</base>.*|\1|p' "$work/stub.xconf" 2> /dev/null)
case $uri in
  file:///*) decoded=$(printf '%b' "$(printf '%s' "${uri#file://}" | sed 's/%/\\x/g')")
             [ "$decoded" = "$(cd "$dir" && pwd -P)/" ] || bad "stand-in fop: base $uri is not the page's folder" ;;
  *) bad "stand-in fop: the configuration has no file URI as its base: '$uri'" ;;
esac
grep -q '<directory>/usr/share/fonts/truetype/wqy</directory>' "$work/stub.xconf" 2> /dev/null ||
  bad "stand-in fop: the configuration is not the shipped one"
[ -z "$(ls -A "$work/tmp")" ] || bad "temporary files stay behind: $(ls -A "$work/tmp")"

# FOP's failure is the script's, said as such.
STUB_STATUS=3 stub "$script" "$dir/page.html" "$work/s.pdf" > "$work/out" 2> "$work/err"
status=$?
[ "$status" = 3 ] || bad "fop failing with 3: exit status $status"
grep -q '^pagesmith-pdf: fop could not render' "$work/err" || bad "fop failing: no message saying so"

# The conversion's failure stops the run before FOP, with pagesmith's status.
rm -f "$work/stub.args"
stub "$script" "$dir/missing.html" "$work/m.pdf" > "$work/out" 2> "$work/err"
status=$?
[ "$status" = 1 ] || bad "missing input: exit status $status, expected pagesmith's 1"
grep -q '^pagesmith-pdf: pagesmith could not convert' "$work/err" || bad "missing input: no message saying so"
[ ! -e "$work/stub.args" ] || bad "missing input: fop was run"
[ -z "$(ls -A "$work/tmp")" ] || bad "temporary files stay behind after a failure: $(ls -A "$work/tmp")"

if ! command -v fop > /dev/null 2>&1; then
  [ "$fail" = 0 ] || exit 1
  echo "skipped the rendering: fop is not on the PATH (install Apache FOP, e.g. apt-get install fop)"
  exit 77
fi

# Real FOP: every script prints in the font meant for it, none as '#', and
# the image is found.
"$script" "$dir/page.html" "$work/page.pdf" > "$work/fop.log" 2>&1
status=$?
[ "$status" = 0 ] || { bad "fop: exit status $status"; tail -n 20 "$work/fop.log"; }
if grep 'not available in font' "$work/fop.log"; then
  bad "characters without a glyph (are fonts-dejavu-core fonts-hosny-amiri fonts-freefont-ttf fonts-arundina fonts-ipafont-gothic fonts-wqy-zenhei installed?)"
fi
grep 'Image not found' "$work/fop.log" && bad "the image beside the page was not found"
if command -v pdffonts > /dev/null 2>&1; then
  pdffonts "$work/page.pdf" > "$work/fonts.txt"
  for f in Helvetica Courier Amiri-Regular DejaVuSans DejaVuSansMono FreeSans ArundinaSans IPAGothic WenQuanYiZenHei; do
    grep -Eq "^([A-Z]{6}\+)?$f " "$work/fonts.txt" || bad "no text in $f"
  done
fi
if command -v pdftotext > /dev/null 2>&1; then
  pdftotext -raw "$work/page.pdf" "$work/page.txt"
  for w in Grüße Καλημέρα Здравствуй こんにちは 안녕하세요 你好世界 שלום; do
    grep -q "$w" "$work/page.txt" || bad "'$w' is not in the PDF's text"
  done
fi
exit $fail
