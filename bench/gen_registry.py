#!/usr/bin/env python3
"""Writes a large, realistic registry as a .reg file for Wine's regedit to import.

Seeded, so every run of the benchmark measures the same registry. The mix: keys nested up to
20 levels, short and long names, every value type, long strings, binary data, about 2% of the
string values pointing at files that do not exist and some pointing at files that do (their
paths are listed in a side file so the benchmark can create them in the prefix's drive_c).

Usage: gen_registry.py --keys N --seed S --out FILE.reg --files FILE.txt [--invalid K]
"""
import argparse
import random

PATH_WORDS = ("Acme Contoso Fabrikam Northwind Tailspin Litware Adventure Proseware Wingtip Trey "
              "Settings Options Recent Install Components Plugins Profiles Tools Games Data").split()

WORDS = ("Acme Contoso Fabrikam Northwind Tailspin Litware Adventure Proseware Wingtip Trey "
         "Settings Options Recent Install Components Plugins Profiles Cache Shell Explorer Run "
         "Policies Preferences History Devices Drivers Services Parameters Display Audio Network "
         "Toolbar Window Layout Fonts Colors Printers Updates Licenses Tasks Filters").split()


def name(rng, long_names):
    if long_names and rng.random() < 0.05:
        return "".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
    if rng.random() < 0.1:
        return "{%08X-%04X-%04X-%04X-%012X}" % (rng.getrandbits(32), rng.getrandbits(16),
                                               rng.getrandbits(16), rng.getrandbits(16),
                                               rng.getrandbits(48))
    return rng.choice(WORDS) + str(rng.randint(0, 999))


def esc(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def hexbytes(data):
    return ",".join("%02x" % b for b in data)


class Gen:
    def __init__(self, rng, invalid_share):
        self.rng = rng
        self.invalid_share = invalid_share
        self.existing = []
        self.invalid = 0

    def path_value(self):
        rng = self.rng
        folder = "C:\\CalvorinBench\\" + "\\".join(rng.choice(PATH_WORDS) for _ in range(rng.randint(1, 4)))
        fname = rng.choice(PATH_WORDS).lower() + str(rng.randint(0, 99999)) + rng.choice([".exe", ".txt", ".ico", ".cfg"])
        return folder + "\\" + fname

    def value(self, idx):
        rng = self.rng
        r = rng.random()
        vname = "" if idx == 0 and rng.random() < 0.2 else name(rng, True)
        vn = "@" if vname == "" else '"%s"' % esc(vname)
        if r < self.invalid_share:
            self.invalid += 1
            return '%s="%s"' % (vn, esc(self.path_value()))
        if r < self.invalid_share + 0.01:
            p = self.path_value()
            self.existing.append(p)
            return '%s="%s"' % (vn, esc(p))
        r = rng.random()
        if r < 0.45:
            text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 6)))
            if rng.random() < 0.05:
                text = text * rng.randint(20, 80)  # long strings
            return '%s="%s"' % (vn, esc(text))
        if r < 0.65:
            return "%s=dword:%08x" % (vn, rng.getrandbits(32))
        if r < 0.80:
            data = bytes(rng.getrandbits(8) for _ in range(rng.choice([4, 16, 64, 300])))
            return "%s=hex:%s" % (vn, hexbytes(data))
        if r < 0.88:
            text = "%SystemRoot%\\system32\\" + rng.choice(WORDS) + ".dll"
            return "%s=hex(2):%s" % (vn, hexbytes((text + "\0").encode("utf-16-le")))
        if r < 0.95:
            parts = [rng.choice(WORDS) for _ in range(rng.randint(1, 4))]
            data = ("\0".join(parts) + "\0\0").encode("utf-16-le")
            return "%s=hex(7):%s" % (vn, hexbytes(data))
        if r < 0.98:
            return "%s=hex(0):%s" % (vn, hexbytes(bytes(rng.getrandbits(8) for _ in range(8))))
        return "%s=hex(b):%s" % (vn, hexbytes(bytes(rng.getrandbits(8) for _ in range(8))))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--keys", type=int, required=True)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", required=True)
    ap.add_argument("--files", required=True)
    ap.add_argument("--root", default="HKEY_CURRENT_USER\\Software\\CalvorinBench")
    ap.add_argument("--invalid-share", type=float, default=0.02)
    ap.add_argument("--values-per-key", type=float, default=1.7)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    gen = Gen(rng, args.invalid_share)
    lines = ["Windows Registry Editor Version 5.00", ""]
    # Depth-first tree: each new key hangs below a random key of the current path.
    stack = [args.root]
    lines += ["[%s]" % args.root, ""]
    made = 1
    while made < args.keys:
        depth = len(stack)
        if depth >= 20 or (depth > 1 and rng.random() < 0.38):
            stack.pop()
            continue
        key = stack[-1] + "\\" + name(rng, True)
        stack.append(key)
        made += 1
        lines.append("[%s]" % key)
        for i in range(int(rng.expovariate(1.0 / args.values_per_key))):
            lines.append(gen.value(i))
        lines.append("")
    text = "\r\n".join(lines) + "\r\n"
    with open(args.out, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    with open(args.files, "w") as f:
        f.write("\n".join(gen.existing) + ("\n" if gen.existing else ""))
    print("keys=%d invalid=%d existing=%d" % (made, gen.invalid, len(gen.existing)))


if __name__ == "__main__":
    main()
