#!/usr/bin/env bash
# hostile.sh BINARY CASE [SCALE]
# Runs one hostile input through the executable: the input is generated here
# (nothing big is kept in the repository), the run must end within the time
# limit with the expected exit status, write nothing to standard error (where
# the sanitizers report), leave a well-formed FO file and print the messages
# that are fixed for that input. SCALE divides the big counts (the sanitizer
# build passes 10).
set -u
bin=$1
case_name=$2
scale=${3:-1}
limit=${HOSTILE_TIME_LIMIT:-120}
export LC_ALL=C

tmp=$(mktemp -d)
trap 'chmod -R u+rwx "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
in=input.html
fo=out.fo
expect_status=0
expect_fo=1
options=()  # before the file names
fail=0

n() { echo $(( $1 / scale )); }
# Writes COUNT copies of TEXT.
repeat() { awk -v n="$1" -v s="$2" 'BEGIN { for (i = 0; i < n; i++) printf "%s", s }'; }
# COUNT pseudo-random bytes from SEED, each in [LOW, 255].
random_bytes() {
  awk -v n="$1" -v seed="$2" -v low="$3" \
    'BEGIN { srand(seed); for (i = 0; i < n; i++) printf "%c", low + int(rand() * (256 - low)) }'
}

# Checks run after the conversion.
checks=()
# The standard output holds this line (fixed text).
expect_line() { checks+=("line:$1"); }
# The standard output holds this line exactly COUNT times.
expect_count() { checks+=("count:$1:$2"); }
# The FO file contains / lacks this text.
expect_in_fo() { checks+=("fo:$1"); }
expect_not_in_fo() { checks+=("nofo:$1"); }
# The FO file has this text on exactly COUNT lines.
expect_fo_count() { checks+=("focount:$1:$2"); }

closing="all is done for file $in"

case $case_name in
  empty)
    : > $in
    expect_line "$closing" ;;
  only-lt)
    printf '<' > $in
    expect_line "Found empty Tag!"
    expect_line "$closing" ;;
  million-lt)
    repeat "$(n 1000000)" '<' > $in
    # A '<' before another is text; the last one, at the end, an empty tag.
    expect_count 'Found empty Tag!' 1
    expect_in_fo "&lt;&lt;&lt;"
    expect_line "$closing" ;;
  text-10mb)
    repeat "$(n 1000000)" 'plain text' > $in
    expect_in_fo "plain textplain text"
    expect_line "$closing" ;;
  nul-start)
    # A NUL byte is dropped; what follows it is read.
    printf '\0<p>after</p>' > $in
    expect_in_fo after
    expect_line "$closing" ;;
  nul-middle)
    printf '<p>kept\0<b>bo\0ld</b></p>' > $in
    expect_in_fo kept
    expect_in_fo bold
    expect_line "$closing" ;;
  nul-end)
    printf '<p>kept</p>\0' > $in
    expect_in_fo kept
    expect_line "$closing" ;;
  random-binary)
    # Bytes 1 to 255, then all 256.
    { random_bytes "$(n 1000000)" 11 1; random_bytes "$(n 100000)" 12 0; } > $in
    expect_line "$closing" ;;
  random-tags)
    # Random bytes dense in '<', '>', '/', quotes and tag names.
    awk -v n="$(n 200000)" 'BEGIN { srand(13); split("< > / = \" \x27 & ; table tr td p b div li ul a href= colspan=", t, " ");
      for (i = 0; i < n; i++) printf "%s", t[1 + int(rand() * 18)] }' > $in
    expect_line "$closing" ;;
  nested-divs)
    count=$(n 100000)
    { repeat "$count" '<div>'; echo x; } > $in
    # DIVs nest in each other, as deep as the reader's bound, and no DIV
    # closes the one around it.
    expect_count 'Tag "div" not or incorrect closed!!!' 0
    expect_in_fo x
    expect_line "$closing" ;;
  svg-nested)
    # Drawings and groups nested far deeper than the writer follows: the
    # markup stays balanced and the text after the last end tag prints.
    count=$(n 100000)
    { echo '<p>before '; repeat "$count" '<svg width="10" height="10"><g>'; repeat "$count" '</g></svg>';
      echo ' after</p>'; } > $in
    expect_fo_count '<fo:instream-foreign-object' 1
    expect_in_fo after
    expect_line "$closing" ;;
  svg-huge)
    # A drawing of a million shapes, and one never closed, holding the rest.
    { echo '<p>a <svg viewBox="0 0 10 10">'; repeat "$(n 1000000)" '<rect width="1" height="1"/><foo>x</foo>';
      echo '</svg> b <svg width="5" height="5"><text>'; repeat "$(n 100000)" '<p>text & more '; } > $in
    expect_fo_count '<fo:instream-foreign-object' 2
    expect_not_in_fo '<foo'
    expect_line "$closing" ;;
  nested-bs)
    { repeat "$(n 100000)" '<b>'; echo x; } > $in
    expect_in_fo x
    expect_line "$closing" ;;
  nested-mixed)
    { repeat "$(n 50000)" '<div><b><i><table><tr><td><ul><li>'; echo x; } > $in
    expect_line "$closing" ;;
  million-paragraphs)
    count=$(n 1000000)
    repeat "$count" $'<p>x</p>\n' > $in
    expect_fo_count 'keep-together.within-page="1">x</fo:block>' "$count"
    expect_line "$closing" ;;
  stray-end-tags)
    awk -v n="$(n 10000)" 'BEGIN { srand(5); for (i = 0; i < n; i++) { r = int(rand() * 5);
      if (r == 0) printf "</b>"; else if (r == 1) printf "<b><i>x</b></i>";
      else if (r == 2) printf "</td></tr></table>"; else if (r == 3) printf "<div><p>y</div></p>";
      else printf "</html></body></x>" } }' > $in
    expect_line "$closing" ;;
  table-nesting)
    { repeat 50 '<table border=1 cellpadding=2 width=90%><tr><td colspan=2>cell'; repeat 50 '</td></tr></table>'; } > $in
    expect_count "starting table processing step 1 of 2 for table 1 depth 1" 1
    expect_in_fo cell
    expect_line "$closing" ;;
  table-many-spans)
    { echo '<table>'; repeat "$(n 2000)" '<tr><td colspan=2147483647 rowspan=2147483647>a<td colspan=99999999999999999999 rowspan=0x7fffffff>b'; echo '</table>'; } > $in
    expect_line "$closing" ;;
  attribute-1mb)
    { printf '<p title="'; repeat "$(n 1048576)" 'v'; printf '" align=center>x</p>'; } > $in
    expect_count 'Property "title" not found!!!' 1
    expect_in_fo 'text-align="center"'
    expect_line "$closing" ;;
  attributes-100k)
    count=$(n 100000)
    { printf '<p'; awk -v n="$count" 'BEGIN { for (i = 0; i < n; i++) printf " a%d=%d", i, i }'; printf '>x</p>'; } > $in
    expect_count 'Value 7 Tag P' 1
    expect_line "$closing" ;;
  style-100k)
    { printf '<p style="'; repeat "$(n 100000)" 'color: red; font-size: 12pt; '; printf '">x</p>'; } > $in
    expect_in_fo x
    expect_line "$closing" ;;
  unterminated-quotes)
    { printf '<p title="open>text '; repeat "$(n 100000)" 'more '; printf '<b style="color: \x27red>x</b>'; } > $in
    expect_line "$closing" ;;
  utf16-odd-length)
    # UTF-16 with its byte order mark, a byte short of whole code units.
    count=$(n 500000)
    { printf '\xff\xfe'; repeat "$count" $'<p>x \xd0\xb6</p>\n' | iconv -f UTF-8 -t UTF-16LE; printf 'x'; } > $in
    expect_fo_count $'keep-together.within-page="1">x \xd0\xb6</fo:block>' "$count"
    expect_in_fo $'\xef\xbf\xbd'
    expect_line "$closing" ;;
  shift-jis-invalid)
    # Declared Shift_JIS, then bytes from 128 up: many of them invalid there.
    { printf '<meta charset=shift_jis><p>'; random_bytes "$(n 2000000)" 21 128; printf '<b>end</b>'; } > $in
    expect_in_fo 'end</fo:inline></fo:block>'
    expect_line "$closing" ;;
  utf8-invalid-tags)
    # Declared UTF-8, every byte between the tags broken: one replacement
    # character each, and tag positions still offsets into the file.
    { printf '<meta charset=utf-8>'; repeat "$(n 500000)" $'\xe4<x>'; } > $in
    expect_count 'Tag "x" not found in internal database!!!' "$(n 500000)"
    expect_line 'Pos 26'
    expect_line "$closing" ;;
  directory-input)
    mkdir $in
    expect_status=1; expect_fo=0
    expect_line "file $in is not readable!" ;;
  unreadable-input)
    if [ "$(id -u)" = 0 ]; then
      echo "SKIPPED: root reads any file (the unit tests cover a failing input stream)"
      exit 0
    fi
    echo '<p>secret</p>' > $in; chmod 000 $in
    expect_status=1; expect_fo=0
    expect_line "file $in is not readable!" ;;
  missing-output-directory)
    echo '<p>x</p>' > $in
    fo=no/such/directory/out.fo
    expect_status=1; expect_fo=0
    expect_line "file $fo seems to be write protected!" ;;
  dev-full)
    if [ ! -w /dev/full ]; then echo "SKIPPED: no /dev/full here"; exit 0; fi
    repeat "$(n 100000)" '<p>fill the disk</p>' > $in
    fo=/dev/full
    expect_status=1; expect_fo=0
    expect_line "file /dev/full could not be written completely!" ;;
  out-of-memory)
    # The sanitizers reserve more address space than any such limit allows.
    if [ "$scale" != 1 ]; then echo "SKIPPED: not under the sanitizers"; exit 0; fi
    repeat 200000 '<table><tr><td><p>a cell <b>in bold</b></td></tr></table>' > $in
    memory_limit_kb=60000
    expect_status=1; expect_fo=0
    expect_line "not enough memory to convert $in!" ;;
  css-nested-blocks)
    # A 10 MB user sheet of blocks in blocks, and a page sheet likewise.
    repeat "$(n 2500000)" 'a{[(' > sheet.css
    { printf '<html><head><style>'; repeat "$(n 100000)" '@media print{'; printf '</style></head><body>'
      repeat "$(n 10000)" '<p class="a">styled</p>'; printf '</body></html>'; } > $in
    options=(--css sheet.css)
    expect_line "$closing" ;;
  css-unterminated)
    printf 'p { color: red } /* never closed' > sheet.css
    { printf '<html><head><style>p { font-family: "never closed\n; color: blue } q { background: url(x'
      printf '</style></head><body><p style="color: \x27open">text</p></body></html>'; } > $in
    options=(--css sheet.css)
    # The bad string drops only its declaration: the blue after it stands.
    expect_in_fo 'color="#0000ff"'
    expect_line "$closing" ;;
  css-long-selector)
    # One selector of 10,000 compound parts, matched against every element.
    { printf '<html><head><style>'; repeat "$(n 10000)" 'div > p ~ '; printf 'p { color: red }</style></head><body>'
      repeat "$(n 20000)" '<div><p>x</p><p>y</p></div>'; printf '</body></html>'; } > $in
    expect_line "$closing" ;;
  css-many-rules)
    # 100,000 rules, bucketed by class, on 100,000 elements.
    { printf '<html><head><style>'
      awk -v n="$(n 100000)" 'BEGIN { for (i = 0; i < n; i++) printf ".c%d { color: #%06x }\n", i, i }'
      printf '</style></head><body>'
      awk -v n="$(n 100000)" 'BEGIN { for (i = 0; i < n; i++) printf "<p class=\"c%d\">p%d</p>\n", i, i }'
      printf '</body></html>'; } > $in
    expect_in_fo 'color="#000010"'
    expect_line "$closing" ;;
  css-custom-everywhere)
    # 4,000 custom properties on the root and 20 more set on every one of
    # 100,000 elements to what they inherit, as utility sheets set them.
    { printf '<html><head><style>:root {'
      awk 'BEGIN { for (i = 0; i < 4000; i++) printf " --r%d: %d;", i, i }'
      printf ' } * {'
      awk 'BEGIN { for (i = 0; i < 20; i++) printf " --s%d: 0;", i }'
      printf ' } p { color: rgb(var(--r7), 0, 0) }</style></head><body>'
      repeat "$(n 50000)" $'<p>x <span>y</span></p>\n'
      printf '</body></html>'; } > $in
    expect_in_fo 'color="#070000"'
    expect_line "$closing" ;;
  css-table-attributes)
    # Tables nested deep with absurd attributes and a sheet of absurd boxes:
    # every hint and length stays finite, the run linear.
    { printf '<html><head><style>td { padding: 1e30px 1e30em; border: 1e30px solid } table { border-spacing: 1e30px }</style></head><body>'
      repeat "$(n 5000)" '<table border=99999999999999999999 cellpadding=-4 cellspacing=1e999 width="1e999%" bgcolor="#zz"><tr valign=middle><td width=1e999 nowrap>a b'
      repeat "$(n 5000)" '</td></tr></table>'
      repeat "$(n 20000)" '<table border cellpadding=3><tr><td>x</td><td colspan=3 width=50%>y</td></tr></table>'
      printf '</body></html>'; } > $in
    expect_in_fo 'border-collapse="separate"'
    expect_line "$closing" ;;
  css-boxes)
    # Boxes on deep nesting, on 100,000 siblings shown as numbered list
    # items, on a list of 100,000 items and on as many rules.
    { printf '<html><head><style>section, blockquote { margin: 1px 2%% auto; padding: 1px; border: thin solid red;'
      printf ' width: 90%%; page-break-inside: avoid } div { display: list-item; list-style: decimal inside }'
      printf ' ol { list-style: lower-greek; padding-left: 3em } hr { margin: 1em auto }</style></head><body>'
      printf '<ol>'; repeat "$(n 100000)" '<li>x'; printf '</ol>'
      repeat "$(n 100000)" '<div>item</div>'
      repeat "$(n 100000)" '<hr>'
      repeat "$(n 5000)" '<section><blockquote>'
      printf '</body></html>'; } > $in
    expect_in_fo '&#945;&#945;&#945;.'
    expect_line "$closing" ;;
  *)
    echo "unknown case $case_name"; exit 2 ;;
esac

(
  if [ -n "${memory_limit_kb:-}" ]; then ulimit -v "$memory_limit_kb"; fi
  exec timeout "$limit" "$bin" "${options[@]}" "$in" "$fo"
) > out.txt 2> err.txt
status=$?
if [ $status = 124 ]; then
  echo "no result within $limit seconds"; exit 1
fi
if [ $status != $expect_status ]; then
  echo "exit status $status, expected $expect_status"; fail=1
fi
if [ -s err.txt ]; then
  echo "unexpected standard error:"; head -c 4000 err.txt; fail=1
fi
if [ $expect_fo = 1 ]; then
  if [ ! -s "$fo" ]; then
    echo "no FO file written"; fail=1
  elif command -v xmllint > /dev/null; then
    if ! xmllint --noout --huge "$fo" 2> xmllint.txt; then
      echo "the FO file is not well-formed XML:"; head -c 2000 xmllint.txt; fail=1
    fi
  else
    echo "SKIPPED the well-formedness check: xmllint is not installed"
  fi
elif [ "$fo" = out.fo ] && [ -e "$fo" ]; then
  echo "an FO file was written but none was expected"; fail=1
fi

for c in "${checks[@]}"; do
  kind=${c%%:*}; rest=${c#*:}
  case $kind in
    line)
      grep -qxF -- "$rest" out.txt || { echo "missing message line: $rest"; fail=1; } ;;
    count)
      want=${rest##*:}; text=${rest%:*}
      got=$(grep -cF -- "$text" out.txt)
      [ "$got" = "$want" ] || { echo "\"$text\" appears $got times, expected $want"; fail=1; } ;;
    focount)
      want=${rest##*:}; text=${rest%:*}
      got=$(grep -cF -- "$text" "$fo" 2>/dev/null)
      [ "$got" = "$want" ] || { echo "the FO file has \"$text\" on $got lines, expected $want"; fail=1; } ;;
    fo)
      grep -qF -- "$rest" "$fo" 2>/dev/null || { echo "the FO file lacks: $rest"; fail=1; } ;;
    nofo)
      ! grep -qF -- "$rest" "$fo" 2>/dev/null || { echo "the FO file holds: $rest"; fail=1; } ;;
  esac
done
exit $fail
