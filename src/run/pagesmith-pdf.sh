#!/bin/sh
# pagesmith-pdf [OPTIONS] IN.html OUT.pdf
# pagesmith-pdf -o OUTDIR [-j N] [OPTIONS] PAGE.html...
#
# Converts each page with pagesmith and renders the result to PDF with
# Apache FOP, using the FOP configuration installed with pagesmith (the fonts
# for scripts beyond Latin) and resolving each page's relative image paths
# against its own folder. Many pages render in one Java VM (pagesmith-fop.jar,
# installed beside this script) on every core; without it, or without Java,
# FOP's command line runs once per page, with the same results.
#
# Exit status: one page: FOP's, pagesmith's when the conversion fails; a
# batch: 1 when any page failed. 2 for a wrong command line; 127 when fop or
# pagesmith cannot be found.
set -u
me="pagesmith-pdf"

usage() {
  echo "usage: $me [-v] [--allow-remote] [--sandbox DIR] IN.html OUT.pdf" >&2
  echo "       $me -o OUTDIR [-j N] [-v] [--allow-remote] [--sandbox DIR] PAGE.html..." >&2
  exit 2
}

outdir= jobs= verbose= allow_remote= sandbox=
while [ $# -gt 0 ]; do
  case $1 in
    -o) [ $# -ge 2 ] || usage; outdir=$2; [ -n "$outdir" ] || usage; shift 2 ;;
    -j) [ $# -ge 2 ] || usage; jobs=$2; shift 2
        case $jobs in ''|*[!0-9]*|0*) echo "$me: -j wants a number of threads from 1 up" >&2; usage ;; esac ;;
    -v) verbose=1; shift ;;
    --allow-remote) allow_remote=1; shift ;;
    --sandbox) [ $# -ge 2 ] || usage; sandbox=$2; shift 2 ;;
    --) shift; break ;;
    -?*) echo "$me: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
if [ -n "$outdir" ]; then
  [ $# -ge 1 ] || usage
else
  [ $# -eq 2 ] || usage
  [ -z "$jobs" ] || usage
  single_out=$2
  set -- "$1"
fi

# Before converting anything: without FOP there will be no PDF.
if ! command -v fop > /dev/null 2>&1; then
  echo "$me: fop not found on the PATH; install Apache FOP (Debian: apt-get install fop)" >&2
  exit 127
fi

here=$(cd "$(dirname "$0")" && pwd -P) || exit 1
pagesmith=$here/pagesmith
if [ ! -x "$pagesmith" ] || [ -d "$pagesmith" ]; then
  pagesmith=$(command -v pagesmith) || {
    echo "$me: pagesmith not found beside $0 nor on the PATH" >&2
    exit 127
  }
fi

# Installed: bin/../share/pagesmith; in the build tree: beside the script.
config=
for c in "$here/../share/pagesmith/fop.xconf" "$here/fop.xconf"; do
  if [ -f "$c" ]; then
    config=$c
    break
  fi
done
if [ -z "$config" ]; then
  echo "$me: no fop.xconf beside $0 nor in $here/../share/pagesmith; characters beyond Latin may print as #" >&2
fi

if [ -n "$sandbox" ]; then
  given=$sandbox
  sandbox=$(cd "$sandbox" 2> /dev/null && pwd -P) || {
    echo "$me: the sandbox $given is not a folder" >&2
    exit 2
  }
fi
# The converter reads style sheets itself: where it can be kept to the
# sandbox (its usage text names --sandbox), it is.
convert_opts=
if [ -n "$sandbox" ] && "$pagesmith" 2>&1 < /dev/null | grep -q -e '--sandbox'; then
  convert_opts=--sandbox
fi
if [ -n "$outdir" ]; then
  mkdir -p -- "$outdir" || exit 1
  outdir=$(cd "$outdir" && pwd -P) || exit 1
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pagesmith-pdf.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Seconds since some fixed time, to the millisecond where date can.
now() {
  t=$(date +%s%N 2> /dev/null)
  case $t in *N|'') date +%s ;; *) echo "$t" | sed 's/......$//; s/...$/.&/' ;; esac
}

# The converter's notices (lines that say something is wrong, not its
# progress): their count, and the first one with its position.
summarize() {
  awk '
    want { if ($0 ~ /^Pos [0-9]+$/) first = first " (" $0 ")"; want = 0 }
    /!$/ || /^unknown encoding/ || /^Processing tag/ {
      if (++n == 1) { first = $0; want = 1 }
    }
    END {
      # A page'\''s bytes must not steer the terminal.
      gsub(/[\001-\037\177]/, "?", first)
      if (n) printf "%d notice%s (first: %s)", n, (n > 1 ? "s" : ""), first
    }' "$1"
}

# The images (and backgrounds) that the FO $1 names, three lines each: R,
# SRC and an empty line when fetching means the network; L, SRC and the path
# as FOP would resolve it against the folder $2 for a local file.
image_sources() {
  LC_ALL=C awk -v base="$2" '
    function unxml(s,   out, i, c, e, n, code) {
      out = ""
      while ((i = index(s, "&")) > 0) {
        out = out substr(s, 1, i - 1); s = substr(s, i)
        e = index(s, ";")
        if (e == 0) break
        n = substr(s, 2, e - 2); s = substr(s, e + 1)
        if (n == "amp") out = out "&"
        else if (n == "lt") out = out "<"
        else if (n == "gt") out = out ">"
        else if (n == "quot") out = out "\""
        else if (n == "apos") out = out "\047"
        else if (n ~ /^#[0-9]+$/) out = out utf8(substr(n, 2) + 0)
        else if (n ~ /^#[xX][0-9A-Fa-f]+$/) out = out utf8(hex(substr(n, 3)))
        else out = out "&" n ";"
      }
      return out s
    }
    function hex(h,   v, i) {
      v = 0; h = tolower(h)
      for (i = 1; i <= length(h); i++) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
      return v
    }
    function utf8(c) {
      if (c < 128) return sprintf("%c", c)
      if (c < 2048) return sprintf("%c%c", 192 + int(c / 64), 128 + c % 64)
      if (c < 65536) return sprintf("%c%c%c", 224 + int(c / 4096), 128 + int(c / 64) % 64, 128 + c % 64)
      return sprintf("%c%c%c%c", 240 + int(c / 262144), 128 + int(c / 4096) % 64, 128 + int(c / 64) % 64, 128 + c % 64)
    }
    # The FO is ISO-8859-1: bytes beyond ASCII are Latin-1 letters.
    function latin1(s,   out, i, c) {
      if (s !~ /[\200-\377]/) return s
      out = ""
      for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        out = out (c ~ /[\200-\377]/ ? utf8(index(HIGH, c) + 127) : c)
      }
      return out
    }
    function unpercent(s,   out, i) {
      out = ""
      while ((i = index(s, "%")) > 0 && substr(s, i + 1, 2) ~ /^[0-9A-Fa-f][0-9A-Fa-f]$/) {
        out = out substr(s, 1, i - 1) sprintf("%c", hex(substr(s, i + 1, 2)))
        s = substr(s, i + 3)
      }
      return out s
    }
    function judge(raw,   s, scheme, rest, host) {
      if (raw in seen) return
      seen[raw] = 1
      s = latin1(unxml(raw))
      sub(/^[ \t\r\n]+/, "", s); sub(/[ \t\r\n]+$/, "", s)
      if (s ~ /^url\(.*\)$/) { s = substr(s, 5, length(s) - 5); gsub(/^[ \047"]+|[ \047"]+$/, "", s) }
      if (s ~ /^\/\//) { print "R\n" raw "\n"; return }
      if (match(s, /^[A-Za-z][A-Za-z0-9+.-]*:/)) {
        scheme = tolower(substr(s, 1, RLENGTH - 1)); rest = substr(s, RLENGTH + 1)
        if (scheme == "data") return
        if (scheme != "file") { print "R\n" raw "\n"; return }
        if (rest ~ /^\/\//) {
          rest = substr(rest, 3); host = rest; sub(/\/.*/, "", host)
          # Java fetches a file: URL naming another host by FTP.
          if (host != "" && tolower(host) != "localhost") { print "R\n" raw "\n"; return }
          rest = substr(rest, length(host) + 1)
        }
        s = rest
      }
      sub(/[?#].*/, "", s)
      s = unpercent(s)
      if (s !~ /^\//) s = base s
      print "L\n" raw "\n" s
    }
    BEGIN {
      RS = "<"
      for (i = 128; i < 256; i++) HIGH = HIGH sprintf("%c", i)
    }
    /^fo:/ {
      rec = $0
      while (match(rec, /[ \t\r\n](src|background-image)="[^"]*"/)) {
        attr = substr(rec, RSTART + 1, RLENGTH - 1)
        rec = substr(rec, RSTART + RLENGTH)
        judge(substr(attr, index(attr, "\"") + 1, length(attr) - index(attr, "\"") - 1))
      }
    }' "$1"
}

# Rewrites the FO $1 into $2: each image whose SRC is a line of $3 gives
# way to its ALT text in italics; a background named there is dropped.
drop_images() {
  LC_ALL=C awk -v blocked="$3" '
    BEGIN {
      while ((getline line < blocked) > 0) refused["src=\"" line "\""] = refused["background-image=\"" line "\""] = 1
      RS = "<"; ORS = ""
    }
    NR == 1 { print; next }
    /^fo:/ {
      rec = $0; out = ""
      while (match(rec, /[ \t\r\n](src|background-image)="[^"]*"/)) {
        attr = substr(rec, RSTART + 1, RLENGTH - 1)
        if (attr in refused) {
          if (attr ~ /^src/ && rec ~ /^fo:external-graphic[ \t\r\n]/) {
            alt = ""
            if (match(rec, /fox:alt-text="[^"]*"/)) alt = substr(rec, RSTART + 14, RLENGTH - 15)
            end = index(rec, "/>")
            if (end) {
              rec = "fo:inline font-style=\"italic\">" alt "</fo:inline>" substr(rec, end + 2)
              break
            }
          }
          out = out substr(rec, 1, RSTART - 1); rec = substr(rec, RSTART + RLENGTH)
          continue
        }
        out = out substr(rec, 1, RSTART + RLENGTH - 1); rec = substr(rec, RSTART + RLENGTH)
      }
      print "<" out rec
      next
    }
    { print "<" $0 }' "$1" > "$2"
}

# Keeps FOP from the network (unless allowed) and, with a sandbox, from
# every file outside it: FO $1 of a page in folder $2 is rewritten in place
# where it names such an image. Prints the notice for the page, if any.
guard() {
  grep -q -e ' src="' -e ' background-image="' "$1" || return 0
  image_sources "$1" "$2" > "$tmp/sources" || return 1
  : > "$tmp/blocked"
  remote=0 outside=0 first=
  while IFS= read -r kind && IFS= read -r raw && IFS= read -r path; do
    case $kind in
      R) [ -z "$allow_remote" ] || continue
         remote=$((remote + 1)) ;;
      L) [ -n "$sandbox" ] || continue
         real=$(realpath -m -- "$path" 2> /dev/null) || real=
         case $real in "${sandbox%/}"/*) continue ;; esac
         outside=$((outside + 1)) ;;
      *) continue ;;
    esac
    printf '%s\n' "$raw" >> "$tmp/blocked"
    [ -n "$first" ] || first=$raw
  done < "$tmp/sources"
  n=$((remote + outside))
  [ "$n" -gt 0 ] || return 0
  drop_images "$1" "$tmp/guarded.fo" "$tmp/blocked" && mv "$tmp/guarded.fo" "$1" || return 1
  [ "$n" -gt 1 ] && s=s || s=
  why=
  [ "$remote" = 0 ] || why="$remote remote (--allow-remote fetches them)"
  [ "$outside" = 0 ] || why="${why:+$why, }$outside outside the sandbox"
  printf '%s image%s not loaded, ALT text instead: %s; first: %s' "$n" "$s" "$why" "$first"
}

# The Java VM for the batch driver: its jar beside this script (installed
# or in the build tree), FOP's jars where Debian's fop launcher takes them.
# PAGESMITH_PDF_JAVA names the java to use; "none" runs FOP's command line.
java=${PAGESMITH_PDF_JAVA:-java}
driver= classpath=
if [ "$java" != none ] && command -v "$java" > /dev/null 2>&1; then
  for d in "$here/pagesmith-fop.jar" "$here/../share/pagesmith/pagesmith-fop.jar"; do
    if [ -f "$d" ]; then
      driver=$d
      break
    fi
  done
  jars=${PAGESMITH_FOP_JARS:-/usr/share/java}
  classpath=
  for j in commons-io xml-apis batik-all commons-logging xmlgraphics-commons xml-apis-ext fontbox2 fop; do
    [ -f "$jars/$j.jar" ] && classpath=$classpath$jars/$j.jar:
  done
  [ -f /usr/share/fop/fop-hyph.jar ] && classpath=$classpath/usr/share/fop/fop-hyph.jar:
  case $classpath in *"/fop.jar:"*) ;; *) driver= ;; esac
fi

# The folder $1 as a file URI, every byte but letters, digits, '/', '-',
# '.', '_' and '~' percent-encoded so that blanks, '%', '#', '&' or letters
# beyond ASCII in the path stay part of it.
file_uri() {
  case $1 in */) f=$1 ;; *) f=$1/ ;; esac
  printf 'file://'
  printf '%s' "$f" | od -An -v -tx1 | LC_ALL=C awk '{
    for (i = 1; i <= NF; i++) {
      c = index("0123456789abcdef", substr($i, 1, 1)) * 16 + index("0123456789abcdef", substr($i, 2, 1)) - 17
      if ((c >= 48 && c <= 57) || (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || c == 45 || c == 46 || c == 47 || c == 95 || c == 126)
        printf "%c", c
      else
        printf "%%%s", $i
    } }'
}

# FOP's configuration with FOP's base set to the folder URI $1, written to $2.
config_for() {
  base=$1
  if [ -n "$config" ]; then
    sed "s|<fop version=\"1.0\">|&<base>$base</base>|" "$config" > "$2" || return 1
  else
    printf '<?xml version="1.0"?>\n<fop version="1.0"><base>%s</base></fop>\n' "$base" > "$2" || return 1
  fi
  if ! grep -q '<base>' "$2"; then
    echo "$me: $config has no <fop version=\"1.0\"> element to set the image folder in" >&2
    return 1
  fi
}

# A page's name in the output folder: its file's, less .html or .htm.
stem_of() {
  b=$(basename -- "$1")
  case $b in *.html|*.HTML|*.htm|*.HTM|*.xhtml) b=${b%.*} ;; esac
  printf '%s' "${b:-page}"
}
taken=$tmp/taken
: > "$taken"

# Converting: every page to its FO, one after another (a fraction of a
# second each), and the list of what FOP is to render.
list=$tmp/jobs
: > "$list"
failed= nfailed=0 total=$# index=0 status=0 single_status=0
for in in "$@"; do
  index=$((index + 1))
  case $in in
    *'
'*) echo "$me: a page name holding a line feed is not converted: $in" >&2
        failed="$failed, $in" nfailed=$((nfailed + 1)); continue ;;
  esac
  if [ -n "$outdir" ]; then
    # Another page of the batch may have the name: PAGE-2.pdf and so on.
    natural=$(stem_of "$in") stem=$natural k=1
    while grep -Fxq -- "$stem" "$taken"; do
      k=$((k + 1))
      stem=$natural-$k
    done
    printf '%s\n' "$stem" >> "$taken"
    out=$outdir/$stem.pdf
    [ "$k" = 1 ] || echo "$in: written as $stem.pdf, another page of the batch is $natural.pdf"
  else
    out=$single_out
  fi
  # FOP writes to a file of ours, moved in place when it is whole: no
  # partial PDF is left, and Java need not know how to name the file.
  printf '%s\n' "$out" > "$tmp/$index.target"
  case $in in -*) in=./$in ;; esac
  fo=$tmp/$index.fo
  if [ -n "$convert_opts" ]; then
    "$pagesmith" --sandbox "$sandbox" "$in" "$fo" > "$tmp/$index.out"
  else
    "$pagesmith" "$in" "$fo" > "$tmp/$index.out"
  fi
  converted=$?
  [ -z "$verbose" ] || cat "$tmp/$index.out"
  if [ "$converted" -ne 0 ]; then
    [ -n "$outdir" ] || { echo "$me: pagesmith could not convert $in (exit status $converted); no PDF was made" >&2; exit "$converted"; }
    echo "$in: FAILED: pagesmith could not convert it (exit status $converted): $(head -n 1 "$tmp/$index.out")" >&2
    failed="$failed, $in" nfailed=$((nfailed + 1))
    continue
  fi
  folder=$(cd "$(dirname -- "$in")" && pwd -P) || exit 1
  notes=$(summarize "$tmp/$index.out")
  if [ -n "$outdir" ]; then
    printf '%s\n' "$outdir/$stem.log" > "$tmp/$index.log"
    if [ -n "$notes" ]; then
      cp "$tmp/$index.out" "$outdir/$stem.log" || exit 1
      notes="$notes, see $stem.log"
    fi
  fi
  refused=$(guard "$fo" "$folder/") || { echo "$me: could not check the images of $in" >&2; exit 1; }
  [ -z "$refused" ] || notes=${notes:+$notes, }$refused
  printf '%s\n%s\n%s\n%s\n%s\n%s\n' "$in" "$fo" "$tmp/$index.pdf" "$(file_uri "$folder")" "$notes" "$tmp/$index.fop" >> "$list"
done

# The heap: by default half the memory the machine (or its container)
# gives, since pages render side by side; PAGESMITH_PDF_HEAP (as java's -Xmx:
# 6g, 800m) sets it.
if [ -n "${PAGESMITH_PDF_HEAP:-}" ]; then
  heap=-Xmx$PAGESMITH_PDF_HEAP
else
  heap=-XX:MaxRAMPercentage=50
fi

rendered=0
if [ -s "$list" ] && [ -n "$driver" ]; then
  if [ -z "$config" ]; then
    printf '<?xml version="1.0"?>\n<fop version="1.0"/>\n' > "$tmp/plain.xconf"
    set -- -c "$tmp/plain.xconf"
  else
    set -- -c "$config"
  fi
  [ -z "$jobs" ] || set -- "$@" -j "$jobs"
  [ -z "$allow_remote" ] || set -- "$@" --allow-remote
  if [ -n "$sandbox" ]; then
    set -- "$@" --sandbox "$sandbox"
    # Fonts are FOP's to read, wherever the configuration finds them.
    for d in /usr/share/fonts /usr/local/share/fonts $(sed -n 's|.*<directory[^>]*>\(.*\)</directory>.*|\1|p' "${config:-/dev/null}"); do
      set -- "$@" --font-dir "$d"
    done
  fi
  [ -z "$verbose" ] || set -- "$@" --verbose
  [ -z "$outdir" ] || [ ! -t 1 ] || set -- "$@" --progress
  "$java" "$heap" -Djava.awt.headless=true -cp "$classpath$driver" PagesmithFop "$@" "$list" < /dev/null
  status=$?
  # 4 is a failed page (named already); anything else means that the
  # driver rendered nothing: FOP's command line takes over.
  case $status in
    0) rendered=1 ;;
    4) rendered=1 status=1 ;;
    *) echo "$me: the Java driver did not run (exit status $status); FOP renders each page on its own" >&2 ;;
  esac
  [ -n "$outdir" ] || [ "$rendered" = 0 ] || single_status=$status
fi

if [ -s "$list" ] && [ "$rendered" = 0 ]; then
  status=0
  [ -n "$driver" ] || [ "$total" -le 1 ] || [ -n "$verbose" ] ||
    echo "$me: no Java driver (pagesmith-fop.jar, java); FOP starts once per page"
  while IFS= read -r in && IFS= read -r fo && IFS= read -r out && IFS= read -r folder &&
        IFS= read -r notes && IFS= read -r log; do
    config_for "$folder" "$tmp/fop.xconf" || exit 1
    start=$(now)
    # FOP's options: the configuration, and a tagged PDF, which screen
    # readers need (structure, language, images' alternative text).
    fop -c "$tmp/fop.xconf" -a -fo "$fo" -pdf "$out" < /dev/null 2> "$tmp/fop.log"
    fop_status=$?
    [ -z "$verbose" ] || cat "$tmp/fop.log" >&2
    end=$(now)
    pages=$(grep -c 'Rendered page #' "$tmp/fop.log")
    awk '
      /^\[WARN\]/ { kind = "warning" } /^\[(ERROR|FATAL|SEVERE)\]/ { kind = "error" }
      /^\[(WARN|ERROR|FATAL|SEVERE)\]/ {
        m = $0; sub(/^\[[A-Z]+\] [^ ]* - /, "", m); sub(/ ?\(See position [0-9]+:[0-9]+\)/, "", m)
        m = "FOP " kind ": " m
        if (!(m in count)) order[++n] = m
        count[m]++
      }
      END { for (i = 1; i <= n; i++) print order[i] (count[order[i]] > 1 ? " (" count[order[i]] " times)" : "") }' \
      "$tmp/fop.log" > "$tmp/fop.messages"
    if [ "$fop_status" -ne 0 ]; then
      rm -f -- "$out"
      echo "$in: FAILED: fop could not render it (exit status $fop_status)${notes:+, $notes}" >&2
      [ -n "$outdir" ] || echo "$me: fop could not render $in (exit status $fop_status)" >&2
      failed="$failed, $in" nfailed=$((nfailed + 1))
      [ -n "$outdir" ] || single_status=$fop_status
    else
      [ "$pages" = 1 ] && p=page || p=pages
      echo "$in: $pages $p, $(echo "$start $end" | awk '{ printf "%.1f", $2 - $1 }') s${notes:+, $notes}"
    fi
    [ -n "$verbose" ] || sed 's/^/  /' "$tmp/fop.messages" >&2
    mv "$tmp/fop.messages" "$log"
  done < "$list"
  if [ -n "$failed" ]; then
    echo "$me: $nfailed of $total pages failed: ${failed#, }" >&2
  fi
  [ "$nfailed" = 0 ] || status=1
elif [ -n "$failed" ]; then
  # The driver named the pages FOP failed on; these failed before it.
  echo "$me: $nfailed of $total pages could not be converted: ${failed#, }" >&2
  status=1
fi

# The PDFs to their places; FOP's messages after the converter's in a
# page's log.
i=0
while [ "$i" -lt "$index" ]; do
  i=$((i + 1))
  if [ -f "$tmp/$i.pdf" ]; then
    target=$(cat "$tmp/$i.target")
    mv -f -- "$tmp/$i.pdf" "$target" || { echo "$me: could not write $target" >&2; status=1 single_status=1; }
  fi
  if [ -s "$tmp/$i.fop" ] && [ -f "$tmp/$i.log" ]; then
    cat "$tmp/$i.fop" >> "$(cat "$tmp/$i.log")"
  fi
done

if [ -z "$outdir" ]; then
  exit "$single_status"
fi
exit "$status"
