#!/usr/bin/env python3
"""Writes a .reg file (regedit 5 format, UTF-16) of string values that name missing files, all
under one key tree: --values N values, --per-key of them in each key. Nothing else is in it, so
a scan of it finds exactly N invalid entries on top of whatever the prefix already holds.

--tree also creates a folder tree of empty files (--files of them, 100 to a folder, ten folders
to a parent) under the given Unix path, the drive a Repair with Extra searches; with it, every
second value names (in a missing folder) a file that exists somewhere in that tree, so Repair
finds it and writes the path, and the others name files that exist nowhere.

Usage: gen_invalid.py --values N --out FILE.reg [--per-key K] [--tree DIR --files M]
"""
import argparse
import os


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--values", type=int, required=True)
    ap.add_argument("--per-key", type=int, default=100)
    ap.add_argument("--root", default="HKEY_CURRENT_USER\\Software\\CalvorinInvalid")
    ap.add_argument("--out", required=True)
    ap.add_argument("--tree")
    ap.add_argument("--files", type=int, default=100000)
    args = ap.parse_args()

    existing = []
    if args.tree:
        for i in range(args.files):
            folder = os.path.join(args.tree, "Group%02d" % (i // 1000 % 100),
                                  "Set%d" % (i // 100 % 10))
            if i % 100 == 0:
                os.makedirs(folder, exist_ok=True)
            name = "stored%06d.dat" % i
            open(os.path.join(folder, name), "w").close()
            existing.append(name)

    lines = ["Windows Registry Editor Version 5.00", ""]
    for k in range((args.values + args.per_key - 1) // args.per_key):
        lines.append("[%s\\Set%05d]" % (args.root, k))
        for j in range(min(args.per_key, args.values - k * args.per_key)):
            i = k * args.per_key + j
            if existing and i % 2 == 0:
                # Spread over the whole tree, so the found files are not all near the start.
                name = existing[(i * 7919) % len(existing)]
            else:
                name = "missing%06d.exe" % i
            path = "C:\\CalvorinGone\\Folder%04d\\%s" % (i // 50, name)
            lines.append('"Entry%03d"="%s"' % (j, path.replace("\\", "\\\\")))
        lines.append("")
    text = "\r\n".join(lines) + "\r\n"
    with open(args.out, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    print("values=%d files=%d" % (args.values, len(existing)))


if __name__ == "__main__":
    main()
