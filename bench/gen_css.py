#!/usr/bin/env python3
"""gen_css.py MB [SEED]: a style sheet of about MB megabytes, as large sites
ship them: mostly class rules, some id, attribute and structural ones, a few
that every paragraph, cell or phrase of a page matches."""
import random
import sys


def main():
    size = float(sys.argv[1]) * 1024 * 1024
    r = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    out = ['p { color: #222; line-height: 1.4 } td, th { font-size: 90% } b, strong { font-weight: bolder }',
           ':root { --accent: #036 } a { color: var(--accent) } pre, code { font-family: monospace }']
    total = sum(len(s) for s in out)
    tags = ['p', 'div', 'span', 'td', 'li', 'a', 'b', 'i', 'pre', 'h2']
    while total < size:
        k = r.random()
        n = r.randrange(100000)
        if k < 0.6:
            rule = '.c%d { color: #%06x; font-weight: %d }' % (n, r.randrange(1 << 24), r.choice([400, 700]))
        elif k < 0.75:
            rule = '#id%d > %s { font-style: italic }' % (n, r.choice(tags))
        elif k < 0.85:
            rule = '%s.c%d %s { text-decoration: underline }' % (r.choice(tags), n, r.choice(tags))
        elif k < 0.95:
            rule = '%s[data-x="%d"] { background-color: #%06x }' % (r.choice(tags), n, r.randrange(1 << 24))
        else:
            rule = '@media print { .p%d:nth-child(%dn+1) { font-size: %dpt } }' % (n, r.randrange(2, 9), r.randrange(8, 20))
        out.append(rule)
        total += len(rule) + 1
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
