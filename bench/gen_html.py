#!/usr/bin/env python3
"""Writes a realistic HTML document of about SIZE megabytes to standard output.

Deterministic for a given seed: head and title, headings, paragraphs with
B/I/U/FONT, links of every kind, entities, lists, nested tables with spans,
widths, borders and padding, STYLE attributes, comments and some bad nesting.

usage: gen_html.py SIZE_MB [SEED]
"""
import random
import sys

WORDS = ("the of and to in is that for it as with was on be by at this from or "
         "an are which not have has had but all were when there can more one "
         "page table column width printer paper layout format block inline "
         "document section chapter figure example manual reference value").split()
ENTITIES = ["&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;", "&auml;", "&copy;", "&eacute;",
            "&mdash;", "&#8212;", "&#x263A;", "&sect;", "&rsquo;"]


def words(r, n):
    out = []
    for _ in range(n):
        w = r.choice(WORDS)
        if r.random() < 0.03:
            w = r.choice(ENTITIES)
        out.append(w)
    return " ".join(out)


def inline(r):
    k = r.random()
    if k < 0.15:
        return "<b>%s</b>" % words(r, r.randint(1, 4))
    if k < 0.25:
        return "<i>%s</i>" % words(r, r.randint(1, 4))
    if k < 0.30:
        return "<u>%s</u>" % words(r, r.randint(1, 3))
    if k < 0.38:
        return '<font size="%s" color="#%06x">%s</font>' % (
            r.choice(["1", "2", "+1", "-1", "4"]), r.randint(0, 0xFFFFFF), words(r, r.randint(1, 5)))
    if k < 0.46:
        href = r.choice(["#sec%d" % r.randint(1, 500), "other%d.html" % r.randint(1, 50),
                         "https://example.org/path/%d?q=a&b=c" % r.randint(1, 999),
                         "docs/page%d.html#part" % r.randint(1, 9)])
        return '<a href="%s">%s</a>' % (href, words(r, r.randint(1, 4)))
    if k < 0.49:
        return '<a name="n%d">%s</a>' % (r.randint(1, 10 ** 6), words(r, 2))
    if k < 0.52:
        return "<code>%s</code>" % words(r, 2)
    if k < 0.54:
        return "<br>"
    return words(r, r.randint(3, 12))


def paragraph(r):
    parts = [inline(r) for _ in range(r.randint(3, 10))]
    style = ' style="color: #333; font-size: 11pt"' if r.random() < 0.1 else ""
    align = ' align="%s"' % r.choice(["left", "center", "right", "justify"]) if r.random() < 0.1 else ""
    close = "</p>" if r.random() < 0.8 else ""  # some paragraphs are left open
    return "<p%s%s>%s%s\n" % (style, align, " ".join(parts), close)


def table(r, depth=0):
    cols = r.randint(2, 5)
    rows = r.randint(2, 8)
    attrs = ' border="%d" cellpadding="%d"' % (r.randint(0, 2), r.randint(0, 4))
    if r.random() < 0.5:
        attrs += ' width="%d%%"' % r.randint(50, 100)
    out = ["<table%s>\n" % attrs]
    for y in range(rows):
        out.append("<tr>")
        x = 0
        while x < cols:
            span = 1
            a = ""
            if r.random() < 0.1 and x + 1 < cols:
                span = 2
                a += ' colspan="2"'
            if y == 0 and r.random() < 0.5:
                a += ' width="%s"' % r.choice(["%d" % r.randint(40, 200), "%d%%" % r.randint(10, 40)])
            if r.random() < 0.05:
                a += ' rowspan="2"'
            content = words(r, r.randint(1, 6))
            if depth < 2 and r.random() < 0.05:
                content = table(r, depth + 1)
            out.append("<td%s>%s</td>" % (a, content))
            x += span
        out.append("</tr>\n")
    out.append("</table>\n")
    return "".join(out)


def listing(r):
    tag = r.choice(["ul", "ol"])
    items = "".join("<li>%s\n" % " ".join(inline(r) for _ in range(r.randint(1, 4)))
                    for _ in range(r.randint(2, 8)))
    return "<%s>\n%s</%s>\n" % (tag, items, tag)


def main():
    size = float(sys.argv[1]) * 1024 * 1024
    r = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    out = sys.stdout
    head = ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<title>Benchmark document</title>\n"
            "<style>p { margin: 0 }</style>\n</head>\n<body>\n")
    out.write(head)
    written = len(head)
    section = 0
    while written < size:
        k = r.random()
        if k < 0.05:
            section += 1
            level = r.randint(1, 4)
            chunk = '<h%d><a name="sec%d">%s</a></h%d>\n' % (level, section, words(r, 4), level)
        elif k < 0.70:
            chunk = paragraph(r)
        elif k < 0.80:
            chunk = listing(r)
        elif k < 0.90:
            chunk = table(r)
        elif k < 0.95:
            chunk = "<!-- %s -->\n" % words(r, 6)
        else:
            chunk = "<div><b>%s <i>%s</b> %s</i></div>\n" % (words(r, 3), words(r, 3), words(r, 3))
        out.write(chunk)
        written += len(chunk)
    out.write("</body>\n</html>\n")


main()
