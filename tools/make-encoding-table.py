#!/usr/bin/env python3
"""Prints the rows of the encoding-label table in src/text/encoding.cpp.

Reads the encodings and their labels from a file that defines ENC, a dict of encoding
name -> labels transcribed from the WHATWG Encoding Standard's encodings.json, and
gives each encoding its Windows code page. The rows come out sorted by label, as the
lookup's binary search needs them.

    python3 tools/make-encoding-table.py whatwg-encodings.py
"""
import sys

# The Windows code page of each encoding; 0 where Windows has none.
CODE_PAGES = {
    "utf-8": 65001,
    "ibm866": 866,
    "iso-8859-2": 28592,
    "iso-8859-3": 28593,
    "iso-8859-4": 28594,
    "iso-8859-5": 28595,
    "iso-8859-6": 28596,
    "iso-8859-7": 28597,
    "iso-8859-8": 28598,
    "iso-8859-8-i": 38598,
    "iso-8859-10": 28600,
    "iso-8859-13": 28603,
    "iso-8859-14": 28604,
    "iso-8859-15": 28605,
    "iso-8859-16": 28606,
    "koi8-r": 20866,
    "koi8-u": 21866,
    "macintosh": 10000,
    "windows-874": 874,
    "windows-1250": 1250,
    "windows-1251": 1251,
    "windows-1252": 1252,
    "windows-1253": 1253,
    "windows-1254": 1254,
    "windows-1255": 1255,
    "windows-1256": 1256,
    "windows-1257": 1257,
    "windows-1258": 1258,
    "x-mac-cyrillic": 10007,
    "gbk": 936,
    "gb18030": 54936,
    "big5": 950,
    "euc-jp": 20932,
    "iso-2022-jp": 50220,
    "shift_jis": 932,
    # Browsers read "euc-kr" as Unified Hangul Code, which adds to EUC-KR the syllables
    # it lacks; 949 decodes both, 51949 only the older set.
    "euc-kr": 949,
    "replacement": 0,
    "utf-16be": 1201,
    "utf-16le": 1200,
    "x-user-defined": 0,
}


def main():
    scope = {}
    with open(sys.argv[1], encoding="utf-8") as f:
        exec(f.read(), scope)
    encodings = scope["ENC"]
    missing = set(encodings) ^ set(CODE_PAGES)
    if missing:
        sys.exit("no code page decided for: " + ", ".join(sorted(missing)))
    rows = sorted((label, name, CODE_PAGES[name]) for name, labels in encodings.items() for label in labels)
    for label, name, cp in rows:
        print(f'    {{"{label}", {{"{name}", {cp}}}}},')


if __name__ == "__main__":
    main()
