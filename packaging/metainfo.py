#!/usr/bin/env python3
"""Writes the AppStream metainfo file from its template: the release history comes from the
Debian changelog (one <release> per entry, newest first, with its items), the web addresses
(homepage, screenshots from docs/screenshots) only when the project has a published homepage.

  metainfo.py TEMPLATE CHANGELOG OUTPUT ID [HOMEPAGE]
"""
import email.utils
import re
import sys
from xml.sax.saxutils import escape

# The screenshots software centres show, with their captions; the files are in docs/screenshots.
SCREENSHOTS = [
    ("main-window.png", "The users of a site, with their state and expiration dates"),
    ("export-dialog.png", "Exporting the password file to the web server"),
    ("filter-light.png", "Finding users as you type"),
    ("undo-dark.png", "Every change can be taken back, here in a dark palette"),
]


def releases(changelog):
    """(version, date, [items]) per changelog entry, in the file's order (newest first)."""
    out = []
    version, items = None, []
    for line in changelog.splitlines():
        head = re.match(r"^\S+ \(([^)]+)\) ", line)
        if head:
            version, items = head.group(1), []
            continue
        item = re.match(r"^  \* (.*)$", line)
        if item and version:
            items.append(item.group(1).strip())
            continue
        more = re.match(r"^    (\S.*)$", line)
        if more and items:
            items[-1] += " " + more.group(1).strip()
            continue
        trailer = re.match(r"^ -- .*?>  (.*)$", line)
        if trailer and version:
            date = email.utils.parsedate_to_datetime(trailer.group(1)).date().isoformat()
            out.append((version, date, items))
            version, items = None, []
    return out


def main():
    template, changelog, output, cid = sys.argv[1:5]
    homepage = sys.argv[5] if len(sys.argv) > 5 else ""
    with open(template, encoding="utf-8") as f:
        text = f.read()
    with open(changelog, encoding="utf-8") as f:
        entries = releases(f.read())
    if not entries:
        sys.exit("metainfo.py: no release in " + changelog)
    rel = ""
    for version, date, items in entries:
        rel += '    <release version="%s" date="%s">\n' % (escape(version), date)
        if items:
            rel += "      <description>\n        <ul>\n"
            rel += "".join("          <li>%s</li>\n" % escape(i) for i in items)
            rel += "        </ul>\n      </description>\n"
        rel += "    </release>\n"
    web = ""
    if homepage:
        base = homepage.rstrip("/")
        web += '  <url type="homepage">%s</url>\n' % escape(homepage)
        web += "  <screenshots>\n"
        for i, (name, caption) in enumerate(SCREENSHOTS):
            web += '    <screenshot%s>\n' % (' type="default"' if i == 0 else "")
            web += "      <caption>%s</caption>\n" % escape(caption)
            web += "      <image>%s/screenshots/%s</image>\n" % (escape(base), name)
            web += "    </screenshot>\n"
        web += "  </screenshots>\n"
    text = text.replace("@QUORVANE_METAINFO_ID@", escape(cid))
    text = text.replace("@QUORVANE_METAINFO_WEB@", web)
    text = text.replace("@QUORVANE_METAINFO_RELEASES@", rel)
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
