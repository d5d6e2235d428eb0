#!/usr/bin/env bash
# batch.sh BUILD-DIR WORK-DIR PART
# Checks pagesmith-pdf's batch form as the build tree holds it (the script,
# pagesmith, fop.xconf and pagesmith-fop.jar side by side), one PART at a time:
#   batch     three pages, one that FOP rejects: the others are written, the
#             failed one is named, the status is 1; two pages of one name get
#             two PDFs; -j 1 and -j 2 write the same bytes; FOP's command
#             line (no Java driver) prints the same text; quiet output.
#   safety    a page naming /etc/..., ../ paths, a link out of its folder and
#             images on a local web server: no request reaches the server
#             without --allow-remote, and with --sandbox no image from outside
#             the sandbox is in the PDF (driver and FOP's command line); the
#             driver alone, given such an FO, fetches and reads none either.
#   parallel  the README's recipe: GNU parallel splits the pages into shares,
#             each rendered by one pagesmith-pdf -o (parallel's local mode).
# Exits with 77 (skipped) when fop, java, the driver or a tool the part
# needs is missing.
set -u
build=$1
work=$2
part=$3
here=$(cd "$(dirname "$0")" && pwd)
fail=0
bad() { echo "FAIL: $*"; fail=1; }
skip() { echo "skipped: $*"; exit 77; }

for t in fop java pdftotext pdfinfo pdfimages; do
  command -v "$t" > /dev/null 2>&1 || skip "$t is not installed"
done
[ -f "$build/pagesmith-fop.jar" ] || skip "no pagesmith-fop.jar in $build (built where javac is found)"

rm -rf "$work"
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
# Same dates in every PDF, so that two runs can be compared byte for byte.
export SOURCE_DATE_EPOCH=1700000000
script=$build/pagesmith-pdf

png() {  # an 8x8 blue PNG
  base64 -d > "$1" <<'EOF'
iVBORw0KGgoAAAANSUhEUgAAAAgAAAAICAMAAADz0U65AAAAA1BMVEUwYMB9iHFdAAAADElEQVQI12NgoA4AAABIAAH/myMhAAAAAElFTkSuQmCC
EOF
}
images() { pdfimages -list "$1" 2> /dev/null | tail -n +3 | wc -l; }
# In the order FOP wrote it: a line holding an image may otherwise be read after the next one.
text() { pdftotext -raw -enc UTF-8 "$1" - 2> /dev/null | tr -d '\n'; }
# The text without hyphens: FOP may hyphenate a word where a line ends.
unhyphenated() { text "$1" | tr -d -- '-'; }
pages() { pdfinfo "$1" 2> /dev/null | sed -n 's/^Pages: *//p'; }

case $part in
batch)
  # The tools beside a stand-in pagesmith that turns any page named
  # fails-in-fop into an FO that FOP rejects (a block outside any page).
  bin=$work/bin
  mkdir -p "$bin"
  for f in pagesmith-pdf fop.xconf pagesmith-fop.jar; do ln -s "$build/$f" "$bin/$f"; done
  cat > "$bin/pagesmith" <<EOF
#!/bin/sh
case \$1 in
  *fails-in-fop*) printf '<?xml version="1.0"?>\n<fo:root xmlns:fo="http://www.w3.org/1999/XSL/Format"><fo:block>no page</fo:block></fo:root>\n' > "\$2"; exit 0 ;;
esac
exec "$build/pagesmith" "\$@"
EOF
  chmod +x "$bin/pagesmith"
  mkdir -p "$work/a" "$work/b" "$work/c"
  # Each page's relative image is looked for in its own folder: a has
  # dot.png, b has none.
  png "$work/a/dot.png"
  printf '<html><head><title>A</title></head><body><h1>Alpha page</h1><p>First <b>one<img src="dot.png" alt="a dot"></body></html>\n' > "$work/a/index.html"
  printf '<html><head><title>B</title></head><body><h1>Beta page</h1><p>Second one<img src="dot.png" alt="no dot"></p></body></html>\n' > "$work/b/index.html"
  printf '<p>never printed</p>\n' > "$work/c/fails-in-fop.html"
  set -- "$work/a/index.html" "$work/c/fails-in-fop.html" "$work/b/index.html"

  run() {  # run NAME [OPTION...]: the batch into $work/NAME
    local name=$1
    shift
    (cd "$work" && "$bin/pagesmith-pdf" "$@" -o "$work/$name" "${pages[@]}" > "$work/$name.out" 2> "$work/$name.err")
    local status=$?
    [ "$status" = 1 ] || bad "$name: exit status $status, expected 1 (a page failed)"
    [ -s "$work/$name/index.pdf" ] && [ -s "$work/$name/index-2.pdf" ] || bad "$name: the good pages' PDFs are missing: $(ls "$work/$name")"
    [ ! -e "$work/$name/fails-in-fop.pdf" ] || bad "$name: the failed page left a PDF"
    ls "$work/$name" | grep -q '\.part$' && bad "$name: a partial file stays behind"
    grep -q "failed: .*c/fails-in-fop.html\$" "$work/$name.err" || { bad "$name: the failed page is not named at the end"; cat "$work/$name.err"; }
    grep -q 'b/index.html: written as index-2.pdf' "$work/$name.out" || bad "$name: the second index.html is not said to be index-2.pdf"
    grep -q '^\[' "$work/$name.out" && bad "$name: a progress line, though the output is no terminal"
    grep -Eq "a/index.html: 1 page, [0-9.]+ s, [0-9]+ notices? \(first: Tag .*\(Pos [0-9]+\)\), see index.log" "$work/$name.out" ||
      { bad "$name: no line for a/index.html with its page count, time and notice:"; cat "$work/$name.out"; }
    grep -q '^all is done' "$work/$name/index.log" 2> /dev/null || bad "$name: the converter's messages are not in index.log"
    [ "$(images "$work/$name/index.pdf")" = 1 ] || bad "$name: a/index.html lacks the image beside it"
    [ "$(images "$work/$name/index-2.pdf")" = 0 ] || bad "$name: b/index.html has an image it does not have"
  }
  pages=("$@")
  run one -j 1
  run two -j 2
  for f in index index-2; do
    cmp -s "$work/one/$f.pdf" "$work/two/$f.pdf" || bad "-j 1 and -j 2 wrote different $f.pdf"
  done
  PAGESMITH_PDF_JAVA=none run fallback
  grep -q 'FOP starts once per page' "$work/fallback.out" || bad "fallback: it does not say that FOP starts once per page"
  for f in index index-2; do
    [ "$(text "$work/one/$f.pdf")" = "$(text "$work/fallback/$f.pdf")" ] || bad "fallback: $f.pdf has other text"
    [ "$(pages "$work/one/$f.pdf")" = "$(pages "$work/fallback/$f.pdf")" ] || bad "fallback: $f.pdf has other pages"
  done
  text "$work/one/index.pdf" | grep -q 'Alpha page' || bad "index.pdf does not hold the page's text"

  # One page: a line or two on success, everything with -v.
  "$script" "$work/b/index.html" "$work/single.pdf" > "$work/single.out" 2>&1 || bad "one page: exit status $?"
  [ "$(wc -l < "$work/single.out")" -le 3 ] || { bad "one page: more than a few lines:"; cat "$work/single.out"; }
  grep -q 'index.html: 1 page, ' "$work/single.out" || bad "one page: no line with its page count"
  "$script" -v "$work/b/index.html" "$work/single.pdf" > "$work/verbose.out" 2>&1 || bad "one page with -v: exit status $?"
  grep -q '^all is done for file' "$work/verbose.out" && grep -q 'INFO' "$work/verbose.out" ||
    bad "one page with -v: the converter's and FOP's messages are not all there"
  ;;

safety)
  command -v python3 > /dev/null 2>&1 || skip "python3 is not installed (the test's web server)"
  # A web server on the loopback that counts the requests it gets, serving a
  # PNG for any path; it ends by itself after two minutes at the latest.
  png "$work/served.png"
  python3 - "$work" > /dev/null 2>&1 <<'EOF' &
import http.server, os, sys, threading
work = sys.argv[1]
png = open(os.path.join(work, "served.png"), "rb").read()
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(work, "requests"), "a") as f:
            f.write(self.path + "\n")
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.send_header("Content-Length", str(len(png)))
        self.end_headers()
        self.wfile.write(png)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(os.path.join(work, "port.tmp"), "w") as f:
    f.write(str(server.server_address[1]))
os.rename(os.path.join(work, "port.tmp"), os.path.join(work, "port"))
threading.Timer(120, server.shutdown).start()
server.serve_forever()
EOF
  server=$!
  trap 'kill "$server" 2> /dev/null' EXIT
  for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.1; done
  [ -f "$work/port" ] || { echo "FAIL: the test's web server did not start"; exit 1; }
  port=$(cat "$work/port")
  : > "$work/requests"

  box=$work/box
  mkdir -p "$box/pages" "$work/outside"
  png "$box/pages/inside.png"
  png "$work/outside/dot.png"
  ln -s "$work/outside/dot.png" "$box/pages/link.png"
  cat > "$box/pages/page.html" <<EOF
<html><head><title>Untrusted</title></head><body><p>Untrusted page.
<img src="inside.png" alt="alt-inside">
<img src="/etc/hostname" alt="alt-etc">
<img src="../../outside/dot.png" alt="alt-up">
<img src="$work/outside/dot.png" alt="alt-absolute">
<img src="file://$work/outside/dot.png" alt="alt-file-url">
<img src="%2e%2e/%2e%2e/outside/dot.png" alt="alt-escaped">
<img src="link.png" alt="alt-link">
<img src="http://127.0.0.1:$port/remote.png" alt="alt-remote">
<img src="//127.0.0.1:$port/network-path.png" alt="alt-network">
<img src="file://127.0.0.1:$port/ftp.png" alt="alt-ftp">
</p></body></html>
EOF
  check() {  # check NAME IMAGES NOTICE-END [ARGS...]: the page rendered with ARGS
    local name=$1 want=$2 notice=$3
    shift 3
    "$script" "$@" "$box/pages/page.html" "$work/$name.pdf" > "$work/$name.out" 2>&1
    local status=$?
    [ "$status" = 0 ] || { bad "$name: exit status $status"; cat "$work/$name.out"; }
    [ "$(images "$work/$name.pdf")" = "$want" ] || bad "$name: $(images "$work/$name.pdf") images in the PDF, expected $want"
    [ ! -s "$work/requests" ] || { bad "$name: the web server was asked for $(tr '\n' ' ' < "$work/requests")"; : > "$work/requests"; }
    unhyphenated "$work/$name.pdf" | grep -q 'altremote' || bad "$name: the remote image's ALT text is not printed"
    grep -q "images not loaded, ALT text instead: 3 remote (--allow-remote fetches them)$notice;" "$work/$name.out" ||
      { bad "$name: no notice of the images not loaded"; cat "$work/$name.out"; }
  }
  # A sandbox that is no folder is a wrong command line, said as such.
  "$script" --sandbox "$work/none" "$box/pages/page.html" "$work/none.pdf" > "$work/none.out" 2>&1
  status=$?
  [ "$status" = 2 ] && grep -q "the sandbox $work/none is not a folder" "$work/none.out" ||
    bad "--sandbox with no folder: exit status $status, $(cat "$work/none.out")"
  [ ! -e "$work/none.pdf" ] || bad "--sandbox with no folder: a PDF was written"
  # Without a sandbox the local images load (the link, the escaped and
  # plain ../ paths, the absolute path, the file: URL, the one inside).
  check open 6 ""
  for how in driver fallback; do
    if [ "$how" = driver ]; then unset PAGESMITH_PDF_JAVA; else export PAGESMITH_PDF_JAVA=none; fi
    check "sandbox-$how" 1 ", 6 outside the sandbox" --sandbox "$box"
    for alt in etc up absolute file-url escaped link network ftp; do
      unhyphenated "$work/sandbox-$how.pdf" | grep -q "alt${alt//-/}" || bad "sandbox-$how: the ALT text alt-$alt is not printed"
    done
    grep -q "altinside" <(unhyphenated "$work/sandbox-$how.pdf") && bad "sandbox-$how: the image inside the sandbox was refused"
  done
  unset PAGESMITH_PDF_JAVA
  # The driver holds by itself, should an FO reach FOP with such images
  # (the FO here is hand-made): nothing fetched, nothing read from outside.
  cat > "$work/direct.fo" <<EOF
<?xml version="1.0"?>
<fo:root xmlns:fo="http://www.w3.org/1999/XSL/Format"><fo:layout-master-set>
<fo:simple-page-master master-name="p" page-width="10cm" page-height="10cm"><fo:region-body/></fo:simple-page-master>
</fo:layout-master-set><fo:page-sequence master-reference="p"><fo:flow flow-name="xsl-region-body"><fo:block>Direct
<fo:external-graphic src="http://127.0.0.1:$port/direct.png"/>
<fo:external-graphic src="$work/outside/dot.png"/>
<fo:external-graphic src="link.png"/>
<fo:external-graphic src="inside.png"/>
</fo:block></fo:flow></fo:page-sequence></fo:root>
EOF
  printf '%s\n' direct.fo "$work/direct.fo" "$work/direct.pdf" "file://$box/pages/" "" "" > "$work/direct.jobs"
  cp=$(for j in commons-io xml-apis batik-all commons-logging xmlgraphics-commons xml-apis-ext fontbox2 fop; do
    printf '/usr/share/java/%s.jar:' "$j"; done)$build/pagesmith-fop.jar
  java -cp "$cp" PagesmithFop -c "$build/fop.xconf" --sandbox "$box" "$work/direct.jobs" > "$work/direct.out" 2>&1
  status=$?
  [ "$status" = 0 ] || { bad "driver alone: exit status $status"; cat "$work/direct.out"; }
  [ "$(images "$work/direct.pdf")" = 1 ] || bad "driver alone: $(images "$work/direct.pdf") images in the PDF, expected the one inside"
  [ ! -s "$work/requests" ] || { bad "driver alone: the web server was asked for $(tr '\n' ' ' < "$work/requests")"; : > "$work/requests"; }
  # And lets all four through when told to.
  java -cp "$cp" PagesmithFop -c "$build/fop.xconf" --allow-remote "$work/direct.jobs" > "$work/direct.out" 2>&1
  [ "$(images "$work/direct.pdf")" = 4 ] && grep -q /direct.png "$work/requests" ||
    bad "driver alone with --allow-remote: $(images "$work/direct.pdf") images, requests: $(tr '\n' ' ' < "$work/requests")"
  : > "$work/requests"

  # The server does answer: with --allow-remote the page's http: image is
  # fetched.
  "$script" --allow-remote "$box/pages/page.html" "$work/remote.pdf" > "$work/remote.out" 2>&1
  grep -q '/remote.png' "$work/requests" ||
    bad "--allow-remote: the remote images were not fetched ($(tr '\n' ' ' < "$work/requests"))"
  ;;

parallel)
  command -v parallel > /dev/null 2>&1 || skip "GNU parallel is not installed"
  mkdir -p "$work/site/x" "$work/site/y"
  for n in 1 2 3; do
    printf '<html><head><title>P%s</title></head><body><p>Page number %s</p></body></html>\n' "$n" "$n" > "$work/site/x/p$n.html"
  done
  printf '<p>Another page one</p>\n' > "$work/site/y/p1.html"
  # As the README has it, with ':' (this machine) for the list of machines.
  (cd "$work/site" && find . -name '*.html' | sort |
    parallel --will-cite -S : -n 2 -j 2 "$script" -j 1 -o "$work/pdf/{#}" {} > "$work/parallel.out" 2>&1)
  status=$?
  [ "$status" = 0 ] || { bad "parallel: exit status $status"; cat "$work/parallel.out"; }
  found=$(cd "$work/pdf" && find . -name '*.pdf' | sort | tr '\n' ' ')
  [ "$found" = "./1/p1.pdf ./1/p2.pdf ./2/p1.pdf ./2/p3.pdf " ] || bad "parallel: the PDFs are $found"
  for n in 2 3; do
    f=$(ls "$work"/pdf/*/p$n.pdf)
    text "$f" | grep -q "Page number $n" || bad "parallel: $f does not hold its page"
  done
  ;;
*)
  echo "unknown part $part"
  exit 2
  ;;
esac
exit $fail
