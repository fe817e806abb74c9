#!/usr/bin/env python3
"""Writes collation_order.txt: the collating weights of the code points
U+0000-U+024F and the character map pairs, from which gen_collation_data
builds the packed weight tables of engine/charset/collation_data.cpp.

The order, from first to last:
  1. controls: U+0000, U+00AD, U+0001-U+0008, U+000E-U+001F, U+007F;
  2. apostrophe, hyphen-minus, space, U+00A0, U+0009-U+000D;
  3. the other punctuation, then currency signs, mathematical signs and the
     other symbols, each group in the order of the Unicode collation element
     table (DUCET, /usr/share/unicode/allkeys.txt), then U+0080-U+009F;
  4. digits, each followed by its variants: 0 1/4 1/2 3/4 1 sup1 2 sup2 3 sup3 4 ... 9;
  5. letters in DUCET order (primary, then secondary, then tertiary weights):
     each base letter is followed by its accented and related forms, and a
     lower-case letter directly precedes its upper-case form.
Two code points share a case-sensitive weight when their whole DUCET keys are
equal, and a case-insensitive weight when their primary and secondary weights
are equal (case and other tertiary differences ignored). Controls never share.

Map pairs: each code point whose full compatibility decomposition
(UnicodeData.txt) begins with another character maps to that first
character; O with stroke (and its accented forms) folds to plain O.

Usage: collation_order.py [--ucd DIR] [--out FILE]
"""
import argparse
import os
import re

SIZE = 592
CONTROLS = [0x00, 0xAD] + list(range(0x01, 0x09)) + list(range(0x0E, 0x20)) + [0x7F]
SPACING = [0x27, 0x2D, 0x20, 0xA0, 0x09, 0x0A, 0x0B, 0x0C, 0x0D]
C1 = list(range(0x80, 0xA0))
DIGITS = [0x30, 0xBC, 0xBD, 0xBE, 0x31, 0xB9, 0x32, 0xB2, 0x33, 0xB3] + list(range(0x34, 0x3A))
STROKE_O = {0xD8: 0x4F, 0xF8: 0x6F}


def read_keys(path):
    keys = {}
    pattern = re.compile(r"\[[.*]([0-9A-F]+)\.([0-9A-F]+)\.([0-9A-F]+)\]")
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line or line.startswith("@"):
                continue
            cps, elements = line.split(";", 1)
            cps = cps.split()
            if len(cps) != 1 or int(cps[0], 16) >= SIZE:
                continue
            ces = [tuple(int(x, 16) for x in m) for m in pattern.findall(elements)]
            # A sort key: every level's non-zero weights in turn.
            keys[int(cps[0], 16)] = tuple(tuple(w[level] for w in ces if w[level]) for level in range(3))
    return keys


def read_unicode_data(path):
    cats, decomp = {}, {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp = int(fields[0], 16)
            if cp >= 0x3000:
                break
            cats[cp] = fields[2]
            parts = [p for p in fields[5].split() if not p.startswith("<")]
            if parts:
                decomp[cp] = [int(p, 16) for p in parts]
    return cats, decomp


def base_of(cp, decomp):
    while cp in decomp:
        cp = decomp[cp][0]
    return STROKE_O.get(cp, cp)


def build(ucd):
    keys = read_keys(os.path.join(ucd, "allkeys.txt"))
    cats, decomp = read_unicode_data(os.path.join(ucd, "UnicodeData.txt"))
    placed = set(CONTROLS + SPACING + C1 + DIGITS)
    rest = [c for c in range(SIZE) if c not in placed]

    def ducet(cps):
        return sorted(cps, key=lambda c: (keys[c], c))

    punct = ducet(c for c in rest if cats[c].startswith("P"))
    currency = ducet(c for c in rest if cats[c] == "Sc")
    maths = ducet(c for c in rest if cats[c] == "Sm")
    symbols = ducet(c for c in rest if cats[c] in ("Sk", "So"))
    letters = ducet(c for c in rest if cats[c][0] == "L")
    groups = [("controls", CONTROLS, False), ("spacing", SPACING, True), ("punctuation", punct, True),
              ("currency", currency, True), ("maths", maths, True), ("symbols", symbols, True),
              ("c1", C1, False), ("digits", DIGITS, True), ("letters", letters, True)]
    order = [c for _, cps, _ in groups for c in cps]
    assert sorted(order) == list(range(SIZE)), "every code point must be placed exactly once"

    sensitive, insensitive = {}, {}
    s = i = -1
    for _, cps, may_share in groups:
        prev = None
        for c in cps:
            share = may_share and prev is not None and keys[c][0] and keys[prev][0]
            if not (share and keys[c] == keys[prev]):
                s += 1
            if not (share and keys[c][:2] == keys[prev][:2]):
                i += 1
            sensitive[c], insensitive[c] = s, i
            prev = c
    pairs = [(c, base_of(c, decomp)) for c in range(1, SIZE) if base_of(c, decomp) != c]
    return order, sensitive, insensitive, pairs


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--ucd", default="/usr/share/unicode")
    ap.add_argument("--out", default=os.path.join(here, "collation_order.txt"))
    args = ap.parse_args()
    order, sensitive, insensitive, pairs = build(args.ucd)
    lines = ["# Generated by collation_order.py; input of gen_collation_data.",
             "# w <code point> <case-sensitive weight> <case-insensitive weight>, in collating order",
             "# m <code point> <replacement>: the character map pairs"]
    lines += [f"w {c:04X} {sensitive[c]} {insensitive[c]}" for c in order]
    lines += [f"m {c:04X} {r:04X}" for c, r in pairs]
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
