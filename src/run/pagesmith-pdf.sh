#!/bin/sh
# pagesmith-pdf IN.html OUT.pdf
#
# Converts IN.html with pagesmith and renders the result to OUT.pdf with
# Apache FOP, using the FOP configuration installed with pagesmith (the fonts
# for scripts beyond Latin) and resolving the page's relative image paths
# against the folder of IN.html.
#
# Exit status: FOP's; 2 for a wrong command line; pagesmith's when the
# conversion fails; 127 when fop or pagesmith cannot be found.
set -u
me="pagesmith-pdf"

# Style options, passed on to pagesmith after the print style sheet (quoted for eval).
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
css= printcss=1
while [ $# -gt 0 ]; do
  case $1 in
    --css) [ $# -ge 2 ] || break; css="$css --css $(quote "$2")"; shift 2 ;;
    --no-print-css) printcss=0; shift ;;
    *) break ;;
  esac
done

if [ $# -ne 2 ]; then
  echo "usage: $me IN.html OUT.pdf" >&2
  exit 2
fi
in=$1
out=$2

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

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pagesmith-pdf.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# The print style sheet, beside the FOP configuration: pages look as a browser prints them.
if [ "$printcss" = 1 ] && [ -n "$config" ] && [ -f "$(dirname "$config")/print.css" ]; then
  css="--css $(quote "$(dirname "$config")/print.css")$css"
fi
eval "set -- $css"
"$pagesmith" "$@" "$in" "$tmp/page.fo"
status=$?
if [ "$status" -ne 0 ]; then
  echo "$me: pagesmith could not convert $in (exit status $status); no PDF was made" >&2
  exit "$status"
fi

# FOP resolves relative image paths against the configuration's base: the
# HTML file's folder as a file URI, every byte but '/' percent-encoded so that
# blanks, '%', '#' or '&' in the path stay part of it.
folder=$(cd "$(dirname "$in")" && pwd -P) || exit 1
case $folder in
  */) ;;
  *) folder=$folder/ ;;
esac
base=file://$(printf '%s' "$folder" | od -An -v -tx1 | tr -d ' \n' | sed 's/../%&/g; s|%2f|/|g')
if [ -n "$config" ]; then
  sed "s|<fop version=\"1.0\">|&<base>$base</base>|" "$config" > "$tmp/fop.xconf" || exit 1
else
  printf '<?xml version="1.0"?>\n<fop version="1.0"><base>%s</base></fop>\n' "$base" > "$tmp/fop.xconf" || exit 1
fi
if ! grep -q '<base>' "$tmp/fop.xconf"; then
  echo "$me: $config has no <fop version=\"1.0\"> element to set the image folder in" >&2
  exit 1
fi

# FOP would take a file name starting with '-' for an option.
case $out in
  -*) out=./$out ;;
esac

# FOP's options: the configuration, and a tagged PDF, which screen readers
# need (structure, language, images' alternative text).
set -- -c "$tmp/fop.xconf" -a

fop "$@" -fo "$tmp/page.fo" -pdf "$out" < /dev/null
status=$?
if [ "$status" -ne 0 ]; then
  echo "$me: fop could not render $in (exit status $status)" >&2
fi
exit "$status"
