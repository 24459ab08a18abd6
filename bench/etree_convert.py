#!/usr/bin/env python3
"""etree_convert.py IN.fxml OUT.flt: the conversion through an XML parser,
as a user might write it instead: each Section from Main on becomes a
"[name]" line, each Property a "name=value" line. Unlike the textual
conversion it keeps runs of blanks in values, so its output differs from
Sectify's wherever a value holds four blanks in a row."""

import sys
import xml.etree.ElementTree as ET


def main():
    source, target = sys.argv[1:]
    with open(target, "wb") as out:
        out.write(b"\r\n")
        seen_main = False
        for _, element in ET.iterparse(source):
            if element.tag != "Section":
                continue
            seen_main = seen_main or element.get("Name") == "Main"
            if seen_main:
                lines = ["[%s]" % element.get("Name")]
                lines += ["%s=%s" % (p.get("Name"), p.get("Value")) for p in element.iter("Property")]
                out.write(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace"))
            element.clear()


if __name__ == "__main__":
    main()
