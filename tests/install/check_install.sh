#!/usr/bin/env bash
# check_install.sh CMAKE BUILD-DIR WORK-DIR
# Installs the build twice, with --prefix and with DESTDIR, into WORK-DIR and
# checks that each time the executable lands in bin/ and runs, and the man
# page in share/man/man1/.
set -u
cmake=$1
build=$2
work=$3
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
}

rm -rf "$work"
mkdir -p "$work"
"$cmake" --install "$build" --prefix "$work/prefix" > "$work/prefix.log" 2>&1 || { cat "$work/prefix.log"; exit 1; }
check "$work/prefix"
DESTDIR="$work/dest" "$cmake" --install "$build" --prefix /opt/pagesmith > "$work/dest.log" 2>&1 || { cat "$work/dest.log"; exit 1; }
check "$work/dest/opt/pagesmith"
exit $fail
