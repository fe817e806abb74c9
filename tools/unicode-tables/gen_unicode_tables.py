#!/usr/bin/env python3
"""Generates engine/charset/unicode_tables.inc, the character-class and case
range tables of the charset layer, from the Unicode character database that
Debian's unicode-data package installs in /usr/share/unicode.

Only code points assigned in Unicode 8.0 or earlier are kept (DerivedAge.txt);
a case mapping is kept only when both of its ends are that old, which gives
the 8.0 mappings since case pairs never change once both letters exist.

A class table row is {first, last, step}: c is in the row when
first <= c <= last and (c - first) % step == 0 (step 0: c == first only).
A case table row adds a signed delta: c maps to c + delta.
Rows are sorted and never overlap, as the binary search needs.

Usage: gen_unicode_tables.py [--ucd DIR] [--out FILE]
"""
import argparse
import os
import sys

MAX_AGE = (8, 0)

HEX_DIGITS = [(0x30, 0x39), (0x41, 0x46), (0x61, 0x66),
              (0xFF10, 0xFF19), (0xFF21, 0xFF26), (0xFF41, 0xFF46)]
WHITE_SPACE = [(0x09, 0x0D), (0x20, 0x20), (0x85, 0x85), (0xA0, 0xA0),
               (0x1680, 0x1680), (0x2000, 0x200A), (0x2028, 0x2029),
               (0x202F, 0x202F), (0x205F, 0x205F), (0x3000, 0x3000)]


def data_lines(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def parse_range(text):
    if ".." in text:
        a, b = text.split("..")
        return int(a, 16), int(b, 16)
    return int(text, 16), int(text, 16)


def load_ages(ucd):
    old = set()
    for fields in data_lines(os.path.join(ucd, "DerivedAge.txt")):
        first, last = parse_range(fields[0])
        major, minor = (int(x) for x in fields[1].split("."))
        if (major, minor) <= MAX_AGE:
            old.update(range(first, last + 1))
    return old


def load_unicode_data(ucd):
    """Returns {code point: (category, upper, lower)}; ranges are expanded."""
    chars = {}
    pending = None
    for fields in data_lines(os.path.join(ucd, "UnicodeData.txt")):
        cp = int(fields[0], 16)
        name, cat = fields[1], fields[2]
        upper = int(fields[12], 16) if fields[12] else None
        lower = int(fields[13], 16) if fields[13] else None
        if name.endswith(", First>"):
            pending = cp
            continue
        if name.endswith(", Last>"):
            for c in range(pending, cp + 1):
                chars[c] = (cat, None, None)
            pending = None
            continue
        chars[cp] = (cat, upper, lower)
    return chars


def load_property(ucd, filename, prop):
    cps = set()
    for fields in data_lines(os.path.join(ucd, filename)):
        if fields[1] == prop:
            first, last = parse_range(fields[0])
            cps.update(range(first, last + 1))
    return cps


def load_case_folding(ucd):
    fold = {}
    for fields in data_lines(os.path.join(ucd, "CaseFolding.txt")):
        if fields[1] in ("C", "S"):
            fold[int(fields[0], 16)] = int(fields[2], 16)
    return fold


def make_rows(items):
    """items: sorted list of (code point, delta). Greedy rows of one delta in
    arithmetic progression; each row covers consecutive items only, so rows
    never overlap."""
    rows = []
    i, n = 0, len(items)
    while i < n:
        cp, delta = items[i]
        j = i
        if i + 1 < n and items[i + 1][1] == delta:
            step = items[i + 1][0] - cp
            if step == 1:
                while j + 1 < n and items[j + 1][1] == delta and items[j + 1][0] == items[j][0] + 1:
                    j += 1
            else:
                # A sparser progression, kept only for three items or more, and
                # stopping where a denser run of one step begins.
                k = i
                while (k + 1 < n and items[k + 1][1] == delta and items[k + 1][0] == items[k][0] + step
                       and not (k + 2 < n and items[k + 2][1] == delta
                                and items[k + 2][0] == items[k + 1][0] + 1)):
                    k += 1
                if k - i >= 2:
                    j = k
        if j == i:
            rows.append((cp, cp, 1, delta))
        else:
            rows.append((cp, items[j][0], items[i + 1][0] - cp if j > i else 1, delta))
        i = j + 1
    return rows


def expand(rows):
    out = {}
    for first, last, step, delta in rows:
        c = first
        while c <= last:
            out[c] = delta
            if step == 0:
                break
            c += step
    return out


def class_rows(cps):
    items = [(c, 0) for c in sorted(cps)]
    rows = make_rows(items)
    assert set(expand(rows)) == set(cps)
    return [(a, b, s) for a, b, s, _ in rows]


def case_rows(mapping):
    items = sorted((c, t - c) for c, t in mapping.items() if t != c)
    rows = make_rows(items)
    assert expand(rows) == {c: d for c, d in items}
    return rows


def from_ranges(ranges):
    cps = set()
    for a, b in ranges:
        cps.update(range(a, b + 1))
    return cps


def build(ucd):
    old = load_ages(ucd)
    chars = {c: v for c, v in load_unicode_data(ucd).items() if c in old}

    def cats(*names):
        return {c for c, v in chars.items() if v[0] in names}

    alphabetic = load_property(ucd, "DerivedCoreProperties.txt", "Alphabetic") & old
    lowercase = load_property(ucd, "DerivedCoreProperties.txt", "Lowercase") & old
    uppercase = load_property(ucd, "DerivedCoreProperties.txt", "Uppercase") & old
    marks = cats("Mn", "Mc", "Me")
    graphic = {c for c, v in chars.items()
               if v[0] not in ("Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Mn", "Mc", "Me")}

    to_lower = {c: v[2] for c, v in chars.items() if v[2] is not None and v[2] in old}
    to_upper = {c: v[1] for c, v in chars.items() if v[1] is not None and v[1] in old}
    folding = {c: t for c, t in load_case_folding(ucd).items() if c in old and t in old}

    classes = [
        ("kLetterRanges", "Alphabetic", alphabetic),
        ("kLowerRanges", "Lowercase", lowercase),
        ("kUpperRanges", "Uppercase", uppercase),
        ("kControlRanges", "Cc, Cf, Co", cats("Cc", "Cf", "Co")),
        ("kDigitRanges", "Nd", cats("Nd")),
        ("kHexDigitRanges", "ASCII and full-width hexadecimal digits", from_ranges(HEX_DIGITS)),
        ("kPunctRanges", "Pc, Pd, Ps, Pe, Pi, Pf, Po, Sm, Sc, Sk",
         cats("Pc", "Pd", "Ps", "Pe", "Pi", "Pf", "Po", "Sm", "Sc", "Sk")),
        ("kSpaceRanges", "white space", from_ranges(WHITE_SPACE)),
        ("kGraphRanges", "printable, combining marks excluded", graphic),
        ("kMarkRanges", "Mn, Mc, Me", marks),
        ("kNumberRanges", "Nd, Nl, No", cats("Nd", "Nl", "No")),
    ]
    cases = [
        ("kToLowerRanges", "simple lower-case mapping", to_lower),
        ("kToUpperRanges", "simple upper-case mapping", to_upper),
        ("kFoldRanges", "simple case folding", folding),
    ]
    return classes, cases


def emit(classes, cases):
    out = ["// Generated by tools/unicode-tables/gen_unicode_tables.py from the Unicode",
           "// character database, code points of Unicode 8.0 and earlier. Do not edit.",
           ""]
    for name, what, cps in classes:
        rows = class_rows(cps)
        out.append(f"// {what}: {len(rows)} rows")
        out.append(f"static const cxCodeRange {name}[] = {{")
        for a, b, s in rows:
            out.append(f"    {{0x{a:04X}, 0x{b:04X}, {s}}},")
        out.append("};")
        out.append("")
    for name, what, mapping in cases:
        rows = case_rows(mapping)
        out.append(f"// {what}: {len(rows)} rows")
        out.append(f"static const cxCaseRange {name}[] = {{")
        for a, b, s, d in rows:
            out.append(f"    {{0x{a:04X}, 0x{b:04X}, {s}, {d}}},")
        out.append("};")
        out.append("")
    return "\n".join(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.normpath(os.path.join(here, "..", ".."))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--ucd", default="/usr/share/unicode")
    ap.add_argument("--out", default=os.path.join(root, "engine", "charset", "unicode_tables.inc"))
    args = ap.parse_args()
    classes, cases = build(args.ucd)
    text = emit(classes, cases)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"wrote {args.out}", file=sys.stderr)


if __name__ == "__main__":
    main()
