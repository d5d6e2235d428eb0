#!/usr/bin/env python3
"""Writes a page of about SIZE megabytes made only of tables nested up to
DEPTH deep (default 6), with spans, given widths, BORDER and CELLPADDING: the
automatic table layout's worst case, every table measured inside another.

usage: gen_tables.py SIZE_MB [DEPTH] [SEED]
"""
import random
import sys

WORDS = ("the of and to in is that for it as with was on be by at this from or "
         "page table column width printer paper layout format block inline").split()


def words(r, n):
    return " ".join(r.choice(WORDS) for _ in range(n))


def table(r, depth, maxdepth):
    attrs = ""
    if r.random() < 0.5:
        attrs += " border=1"
    if r.random() < 0.3:
        attrs += " cellpadding=%d" % r.randint(0, 6)
    if r.random() < 0.2:
        attrs += ' width="%d%%"' % r.randint(40, 100)
    out = ["<table%s>\n" % attrs]
    cols = r.randint(2, 4)
    for _ in range(r.randint(2, 4)):
        out.append("<tr>")
        c = 0
        while c < cols:
            span = 1 if c == cols - 1 or r.random() < 0.8 else 2
            width = ' width="%d"' % r.randint(30, 200) if r.random() < 0.15 else ""
            cell = "<td%s%s>" % (' colspan="%d"' % span if span > 1 else "", width)
            if depth < maxdepth and r.random() < 0.45:
                content = table(r, depth + 1, maxdepth)
            else:
                content = words(r, r.randint(1, 12))
            out.append(cell + content + "</td>")
            c += span
        out.append("</tr>\n")
    out.append("</table>\n")
    return "".join(out)


def main():
    size = float(sys.argv[1]) * 1024 * 1024
    depth = int(sys.argv[2]) if len(sys.argv) > 2 else 6
    r = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 7)
    out = sys.stdout
    out.write("<html><head><title>Nested tables</title></head><body>\n")
    written = 0
    while written < size:
        chunk = table(r, 0, depth)
        out.write(chunk)
        written += len(chunk)
    out.write("</body></html>\n")


if __name__ == "__main__":
    main()
