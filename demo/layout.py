#!/usr/bin/env python3
"""Lays the demo installation out in a folder, in the form the suite's programs read:
text files in code page 850 with CR LF line ends, help files as 80-byte records.

    layout.py DEST [--date YYYYMMDD] [--language CODE]

The sources under root/ are UTF-8 so that they stay readable; a few symbols stand for
the control bytes the files carry:
    templates (TEXTOS):  ⌂ byte 127 (directive lines), ①..⑨ bytes 1..9 (column
                         selectors), Ⓑ Ⓤ Ⓘ bytes 16, 17, 18 (bold, underline, italic)
    help (AJUDA/*.txt):  Ⓗ byte 30 (highlight), Ⓢ byte 31 (underline), Ⓡ byte 16
                         (reverse); each line becomes one 80-byte record of X.HLP
"""
import argparse
import os
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SYMBOLS = {"⌂": "\x7f", "Ⓑ": "\x10", "Ⓤ": "\x11", "Ⓘ": "\x12", "Ⓗ": "\x1e", "Ⓢ": "\x1f",
           "Ⓡ": "\x10"}
SYMBOLS.update({chr(0x2460 + k): chr(k + 1) for k in range(9)})  # ① .. ⑨
HELP_RECORD = 80


def to_cp850(text):
    for symbol, byte in SYMBOLS.items():
        text = text.replace(symbol, byte)
    out = bytearray()
    for ch in text:
        out += b"\xd5" if ch == "€" else ch.encode("cp850")
    return bytes(out)


def text_file(src, dest):
    with open(src, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    with open(dest, "wb") as f:
        for line in lines:
            f.write(to_cp850(line) + b"\r\n")


def help_file(src, dest):
    with open(src, encoding="utf-8") as f:
        lines = f.read().rstrip("\n").split("\n")
    with open(dest, "wb") as f:
        for line in lines:
            record = to_cp850(line)
            if len(record) > HELP_RECORD:
                sys.exit(f"{src}: a help line is longer than {HELP_RECORD} bytes: {line!r}")
            f.write(record.ljust(HELP_RECORD, b" "))


def set_key(path, section, key, value):
    with open(path, "rb") as f:
        data = f.read().decode("cp850")
    pattern = re.compile(r"(\[" + section + r"\][^\[]*?^" + key + r"=)[^\r\n]*", re.M | re.S)
    data, n = pattern.subn(lambda m: m.group(1) + value, data, count=1)
    if n != 1:
        sys.exit(f"{path}: no key {key} in [{section}]")
    with open(path, "wb") as f:
        f.write(data.encode("cp850"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dest")
    parser.add_argument("--date", help="working date of the terminal, YYYYMMDD")
    parser.add_argument("--language", help="language of the terminal: CAT, SPA, GLG or OCI")
    args = parser.parse_args()

    root = os.path.join(HERE, "root")
    for folder, _dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        target = os.path.join(args.dest, rel)
        os.makedirs(target, exist_ok=True)
        for name in files:
            src = os.path.join(folder, name)
            if rel == "AJUDA" and name.endswith(".txt"):
                help_file(src, os.path.join(target, name[:-4] + ".HLP"))
            elif name.lower().endswith((".txt", ".ini", ".zpn", ".lng")):
                text_file(src, os.path.join(target, name))
            else:
                shutil.copyfile(src, os.path.join(target, name))
    terminal = os.path.join(args.dest, "TMP", "OrvaTerm.ini")
    if args.date:
        set_key(terminal, "Sistema", "Data", args.date)
    if args.language:
        set_key(terminal, "Sistema", "Idioma", args.language)


if __name__ == "__main__":
    main()
