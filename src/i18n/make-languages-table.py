#!/usr/bin/env python3
"""Writes languages.txt (the embedded interface table) from languages.tsv.

languages.tsv: UTF-8, one table row per line, the eleven cells separated by
tabs in the table's language order; lines that are empty or start with "#"
are comments. The first two rows are the languages' own names and codes.

languages.txt: UTF-8 with byte-order mark and CR LF line ends; the number of
languages, then every row as one line per language.

Run after editing languages.tsv:  src/i18n/make-languages-table.py
"""
import pathlib
import sys

here = pathlib.Path(__file__).resolve().parent
LANGUAGES = 11


def rows(path):
    for number, line in enumerate(path.read_text(encoding="utf-8").split("\n"), 1):
        if not line.strip() or line.startswith("#"):
            continue
        cells = line.split("\t")
        if len(cells) != LANGUAGES:
            sys.exit(f"{path.name}:{number}: {len(cells)} cells instead of {LANGUAGES}")
        yield cells


def main():
    out = [str(LANGUAGES)]
    for cells in rows(here / "languages.tsv"):
        out.extend(cells)
    data = "\ufeff" + "".join(line + "\r\n" for line in out)
    (here / "languages.txt").write_bytes(data.encode("utf-8"))


main()
