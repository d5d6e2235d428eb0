#!/usr/bin/env bash
# check_install.sh CMAKE BUILD-DIR WORK-DIR
# Installs the build twice, with --prefix and with DESTDIR, into WORK-DIR and
# checks that each time the executable and pagesmith-pdf land in bin/ and run,
# the FOP configuration in share/pagesmith/, where the installed pagesmith-pdf
# finds it, and the man pages in share/man/man1/.
set -u
cmake=$1
build=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
fail=0

check() {  # check ROOT: the installed tree under ROOT
  local root=$1
  if [ ! -x "$root/bin/pagesmith" ]; then
    echo "missing: $root/bin/pagesmith"; fail=1
  elif ! "$root/bin/pagesmith" > "$work/usage.txt" 2>&1 || ! grep -q '^pagesmith (HTML-file) (FO-file) \[debug\]$' "$work/usage.txt"; then
    echo "$root/bin/pagesmith does not print its usage text:"; cat "$work/usage.txt"; fail=1
  fi
  if [ ! -f "$root/share/man/man1/pagesmith.1" ]; then
    echo "missing: $root/share/man/man1/pagesmith.1"; fail=1
  elif ! grep -q '^\.TH PAGESMITH 1 ' "$root/share/man/man1/pagesmith.1"; then
    echo "$root/share/man/man1/pagesmith.1 is not the man page"; fail=1
  fi
  if ! grep -q '^\.TH PAGESMITH-PDF 1 ' "$root/share/man/man1/pagesmith-pdf.1" 2> /dev/null; then
    echo "missing: the man page $root/share/man/man1/pagesmith-pdf.1"; fail=1
  fi
  if ! grep -q '<directory>' "$root/share/pagesmith/fop.xconf" 2> /dev/null; then
    echo "missing: the FOP configuration $root/share/pagesmith/fop.xconf"; fail=1
  fi
  # With a stand-in fop: the installed script runs the installed pagesmith and
  # hands FOP the installed configuration.
  if [ ! -x "$root/bin/pagesmith-pdf" ]; then
    echo "missing: $root/bin/pagesmith-pdf"; fail=1
  else
    printf '<p>x</p>' > "$work/page.html"
    rm -f "$work/stub.xconf"
    if ! PATH="$here/../pdf/stub:$PATH" STUB_LOG="$work/stub" PAGESMITH_PDF_JAVA=none "$root/bin/pagesmith-pdf" "$work/page.html" "$work/page.pdf" > "$work/pdf.txt" 2>&1; then
      echo "$root/bin/pagesmith-pdf failed:"; cat "$work/pdf.txt"; fail=1
    elif ! sed 's|<base>[^<]*</base>||' "$work/stub.xconf" | cmp -s - "$root/share/pagesmith/fop.xconf"; then
      echo "$root/bin/pagesmith-pdf did not hand FOP $root/share/pagesmith/fop.xconf"; fail=1
    fi
    # The batch driver, where the build made one, lies beside the script,
    # which runs it (here a stand-in java) with the installed configuration.
    if [ -f "$build/pagesmith-fop.jar" ]; then
      rm -f "$work/stub.java"
      if [ ! -f "$root/bin/pagesmith-fop.jar" ]; then
        echo "missing: $root/bin/pagesmith-fop.jar"; fail=1
      elif ! PATH="$here/../pdf/stub:$PATH" STUB_LOG="$work/stub" "$root/bin/pagesmith-pdf" -o "$work/batch" "$work/page.html" > "$work/pdf.txt" 2>&1; then
        echo "$root/bin/pagesmith-pdf -o failed:"; cat "$work/pdf.txt"; fail=1
      elif ! grep -q ":$root/bin/pagesmith-fop.jar\$" "$work/stub.java" || ! grep -qx "$root/bin/../share/pagesmith/fop.xconf" "$work/stub.java"; then
        echo "$root/bin/pagesmith-pdf did not run $root/bin/pagesmith-fop.jar with the installed configuration:"
        cat "$work/stub.java"; fail=1
      fi
    fi
  fi
}

rm -rf "$work"
mkdir -p "$work"
"$cmake" --install "$build" --prefix "$work/prefix" > "$work/prefix.log" 2>&1 || { cat "$work/prefix.log"; exit 1; }
check "$work/prefix"
DESTDIR="$work/dest" "$cmake" --install "$build" --prefix /opt/pagesmith > "$work/dest.log" 2>&1 || { cat "$work/dest.log"; exit 1; }
check "$work/dest/opt/pagesmith"
exit $fail
