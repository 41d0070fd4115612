#!/usr/bin/env python3
"""Turns the built-in identifier rows into a C++ source: the row table with
each identifier's BER and binary forms, the terminator row, and the two
sorted indexes (by value and by name)."""
import sys


def encode_arcs(arcs):
    """Content octets of the BER encoding of an OBJECT IDENTIFIER."""
    if len(arcs) < 2:
        raise ValueError("an identifier needs at least two arcs")
    if arcs[0] > 2 or (arcs[0] < 2 and arcs[1] > 39):
        raise ValueError("bad first arcs")
    subids = [arcs[0] * 40 + arcs[1]] + arcs[2:]
    out = bytearray()
    for s in subids:
        chunk = [s & 0x7F]
        s >>= 7
        while s:
            chunk.append(0x80 | (s & 0x7F))
            s >>= 7
        out.extend(reversed(chunk))
    return bytes(out)


def read_rows(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for n, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split()
            if len(parts) != 4:
                raise SystemExit(f"{path}:{n}: expected 4 fields")
            short, name, dotted, syntax = int(parts[0]), parts[1], parts[2], int(parts[3])
            arcs = [] if dotted == "-" else [int(a) for a in dotted.split(".")]
            rows.append((short, name, arcs, syntax))
    return rows


def check(rows):
    shorts = [r[0] for r in rows]
    want = list(range(0, 1093)) + list(range(3000, 3563))
    if shorts != want:
        raise SystemExit("rows must carry short identifiers 0..1092 and 3000..3562 in order")
    names = [r[1] for r in rows]
    if len(set(names)) != len(names):
        raise SystemExit("names must be unique")


def value_key(arcs):
    # Subidentifier by subidentifier; a proper prefix sorts before its
    # extensions (Python's list order); rows without a value last.
    if not arcs:
        return (1, [])
    enc = encode_arcs(arcs)
    subids, cur = [], 0
    for b in enc:
        cur = (cur << 7) | (b & 0x7F)
        if not b & 0x80:
            subids.append(cur)
            cur = 0
    return (0, subids)


def main():
    src, out = sys.argv[1], sys.argv[2]
    rows = read_rows(src)
    check(rows)
    blob = bytearray()
    offsets = []
    for _, _, arcs, _ in rows:
        if arcs:
            enc = encode_arcs(arcs)
            if len(enc) > 53:
                raise SystemExit("identifier content longer than 53 octets")
            offsets.append((len(blob), len(enc)))
            blob += bytes([0x06, len(enc)]) + enc
        else:
            offsets.append(None)
    by_value = sorted(range(len(rows)), key=lambda i: value_key(rows[i][2]))
    by_name = sorted(range(len(rows)), key=lambda i: rows[i][1].encode("ascii"))

    w = []
    w.append("// Generated from builtin_oids.txt by gen_builtin_table.py. Do not edit.")
    w.append('#include "oid/builtin_table.h"')
    w.append("namespace vrcore::oid {")
    w.append("namespace {")
    w.append("const unsigned char kForms[] = {")
    for i in range(0, len(blob), 16):
        w.append("    " + ", ".join(f"0x{b:02x}" for b in blob[i:i + 16]) + ",")
    w.append("};")
    w.append("} // namespace")
    w.append(f"const BuiltinRow kBuiltinRows[{len(rows) + 1}] = {{")
    for (short, name, arcs, syntax), off in zip(rows, offsets):
        if off is None:
            w.append(f'    {{"{name}", {{0, nullptr}}, nullptr, {syntax}}},')
        else:
            o, n = off
            w.append(f'    {{"{name}", {{{n}, kForms + {o + 2}}}, kForms + {o}, {syntax}}},')
    w.append("    {nullptr, {0, nullptr}, nullptr, 0},")
    w.append("};")
    for label, order in (("kByValue", by_value), ("kByName", by_name)):
        w.append(f"const IndexEntry {label}[{len(rows)}] = {{")
        line = []
        for i in order:
            line.append(f"{{&kBuiltinRows[{i}], {i}}}")
            if len(line) == 6:
                w.append("    " + ", ".join(line) + ",")
                line = []
        if line:
            w.append("    " + ", ".join(line) + ",")
        w.append("};")
    w.append("} // namespace vrcore::oid")
    with open(out, "w", encoding="ascii") as f:
        f.write("\n".join(w) + "\n")


if __name__ == "__main__":
    main()
