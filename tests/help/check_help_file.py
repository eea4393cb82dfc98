#!/usr/bin/env python3
"""Reads the compiled grooval.chm back and checks what a user meets in it.

    check_help_file.py CHM SOURCE_DIR TOPICS_COMMAND...

- every page of the help sources is inside, with a title and a heading, and in the contents;
- every topic number of the program's "What's This?" tables (printed by TOPICS_COMMAND, the
  program's own tables run under Wine) has a pop-up with text, and the pop-ups of the detection
  sliders state the ranges the program gives those sliders;
- every link, picture, style sheet, contents and index entry resolves to a file inside the
  compiled file, anchors included.
"""
import html.parser
import os
import re
import subprocess
import sys
import tempfile
import urllib.parse

POPUP_TEXT = "cshelp.txt"  # the name HTML Help looks for when only the .chm is named
POPUP_NAMES = "popups.h"


class PageParser(html.parser.HTMLParser):
    """Collects a page's title, headings, anchors and references."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.title = ""
        self.headings = []
        self.anchors = set()
        self.references = []  # (tag, target)
        self.sitemap = []  # "Local" values of contents and index entries
        self._in = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for key in ("id", "name"):
            if key in a and tag != "param" and tag != "meta":
                self.anchors.add(a[key])
        if tag in ("a", "link") and a.get("href"):
            self.references.append((tag, a["href"]))
        if tag in ("img", "script") and a.get("src"):
            self.references.append((tag, a["src"]))
        if tag == "param" and (a.get("name") or "").lower() == "local":
            self.sitemap.append(a.get("value") or "")
        if tag in ("title", "h1"):
            self._in = tag
            if tag == "h1":
                self.headings.append("")

    def handle_endtag(self, tag):
        if tag == self._in:
            self._in = None

    def handle_data(self, data):
        if self._in == "title":
            self.title += data
        elif self._in == "h1":
            self.headings[-1] += data


def parse(path):
    parser = PageParser()
    with open(path, encoding="cp1252") as f:
        parser.feed(f.read())
    return parser


def read_popups(root, problems):
    """{topic number: (name, text)} from the pop-up files inside the compiled file."""
    names = {}
    header = os.path.join(root, POPUP_NAMES)
    text_file = os.path.join(root, POPUP_TEXT)
    for required in (header, text_file):
        if not os.path.isfile(required):
            problems.append("no %s inside the help file" % os.path.basename(required))
            return {}
    with open(header, encoding="cp1252") as f:
        for line in f:
            m = re.match(r"\s*#define\s+(\w+)\s+(0[xX][0-9A-Fa-f]+|\d+)\s*$", line)
            if m:
                if m.group(1) in names:
                    problems.append("%s defined twice in %s" % (m.group(1), POPUP_NAMES))
                names[m.group(1)] = int(m.group(2), 0)
    texts = {}
    current = None
    with open(text_file, encoding="cp1252") as f:
        for line in f:
            m = re.match(r"\.topic\s+(\S+)\s*$", line.rstrip("\r\n"))
            if m:
                current = m.group(1)
                if current in texts:
                    problems.append("pop-up %s written twice" % current)
                texts[current] = ""
            elif current is not None:
                texts[current] += line
    popups = {}
    for name, text in texts.items():
        if name not in names:
            problems.append("pop-up %s has no number in %s" % (name, POPUP_NAMES))
            continue
        number = names[name]
        if number in popups:
            problems.append("0x%08X has two pop-ups: %s and %s" % (number, popups[number][0], name))
        popups[number] = (name, " ".join(text.split()))
    return popups


def program_tables(command):
    """Topic numbers and slider ranges as the program has them."""
    out = subprocess.run(command, check=True, capture_output=True, text=True, timeout=120).stdout
    topics, ranges = [], {}
    for line in out.splitlines():
        fields = line.split()
        if fields[:1] == ["topic"]:
            topics.append((fields[1], int(fields[2]), int(fields[3], 16)))
        elif fields[:1] == ["range"]:
            ranges[int(fields[1], 16)] = (int(fields[2]), int(fields[3]))
    return topics, ranges


def resolve(root, page, target):
    """(file inside the compiled file, anchor) for a reference from `page`, or None if external."""
    parts = urllib.parse.urlsplit(target)
    if parts.scheme or parts.netloc:
        return None
    path = urllib.parse.unquote(parts.path)
    inside = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
    return inside, parts.fragment


def main():
    chm, sources, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    problems = []
    with tempfile.TemporaryDirectory() as root:
        subprocess.run(["extract_chmLib", chm, root], check=True, stdout=subprocess.DEVNULL)
        inside = {os.path.relpath(os.path.join(d, f), root)
                  for d, _, files in os.walk(root) for f in files}

        # The manual's pages.
        pages = sorted(p for p in inside if p.endswith(".htm"))
        wanted = sorted(f for f in os.listdir(sources) if f.endswith(".htm"))
        for f in wanted:
            if f not in inside:
                problems.append("page %s is not in the help file" % f)
        parsed = {p: parse(os.path.join(root, p)) for p in pages}
        for p, page in parsed.items():
            if not page.title.strip() or not any(h.strip() for h in page.headings):
                problems.append("%s has no title or heading" % p)
        contents = [p for p in inside if p.endswith(".hhc")]
        listed = set()
        for c in contents + [p for p in inside if p.endswith(".hhk")]:
            entries = parse(os.path.join(root, c)).sitemap
            if not entries:
                problems.append("%s lists nothing" % c)
            for local in entries:
                file, _ = resolve(root, c, local)
                if file not in inside:
                    problems.append("%s names %s, which is not in the help file" % (c, local))
                if c in contents:
                    listed.add(file)
        if not contents:
            problems.append("no table of contents in the help file")
        for p in pages:
            if p not in listed:
                problems.append("%s is missing from the table of contents" % p)

        # Links between the pages.
        links = 0
        for p, page in parsed.items():
            for tag, target in page.references:
                links += 1
                place = resolve(root, p, target)
                if place is None:
                    problems.append("%s: <%s> leads out of the help file: %s" % (p, tag, target))
                    continue
                file, anchor = place
                if file not in inside:
                    problems.append("%s: <%s> to %s: no such file" % (p, tag, target))
                elif anchor and (file not in parsed or anchor not in parsed[file].anchors):
                    problems.append("%s: <%s> to %s: no such anchor" % (p, tag, target))

        # The pop-ups.
        popups = read_popups(root, problems)
        topics, ranges = program_tables(command)
        if not topics:
            problems.append("the program printed no help topics")
        for dialog, control, number in topics:
            text = popups.get(number, ("", ""))[1]
            if not text:
                problems.append("no pop-up text for %s control %d (0x%08X)" % (dialog, control, number))
        stale = set(popups) - {number for _, _, number in topics}
        for number in sorted(stale):
            problems.append("pop-up %s (0x%08X) is for no control" % (popups[number][0], number))
        for number, (low, high) in ranges.items():
            text = popups.get(number, ("", ""))[1]
            if text and "%d to %d" % (low, high) not in text:
                problems.append("pop-up %s does not give the range %d to %d"
                                % (popups[number][0], low, high))

    for problem in problems:
        print("FAIL: " + problem)
    print("%d pages, %d pop-ups for %d topics, %d links and references checked"
          % (len(pages), len(popups), len(topics), links))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
