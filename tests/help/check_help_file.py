#!/usr/bin/env python3
"""Reads the compiled grooval.chm back and checks what a user meets in it.

    check_help_file.py CHM HELP_SOURCES SOURCE_ROOT TOPICS_COMMAND...

- every page of the help sources is inside, with a title and a heading, and in the contents;
- every topic number of the program's "What's This?" tables (printed by TOPICS_COMMAND, the
  program's own tables run under Wine) has a pop-up with text;
- the manual agrees with the program: a setting's pop-up states its range and default as the
  window shows them; wherever a pop-up or a page names a setting, every "LOW to HIGH" and
  "default VALUE" beside it is one the program has; every text marked class="msg" is one the
  window shows and every class="status" one the status area shows (the named ones from
  TOPICS_COMMAND, the writer's own from SOURCE_ROOT), and each of those texts is explained
  somewhere; the table of class="exitcodes" lists exactly grooval-split's exit codes, each
  under the name its --help gives it; the table of class="options" names exactly the options
  of its --help; every silence level given in dBFS, in the table of class="levels" or as
  "level N (-X dBFS", is the program's, and the level marked in the table is the default;
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

# How the manual names each setting the program prints (case matters: "Discard" is the slider).
SETTING_NAMES = {
    "silence": ("Silence Level",), "split-silence": ("--silence",),
    "gap": ("New Track after", "--gap"),
    "discard": ("Discard", "--min"), "flac": ("flac:", "--format flac"),
    "mp3": ("mp3:", "--format mp3"), "declick": ("--declick",), "tracks": ("--tracks",),
    "bits": ("--bits",),
}
VALUE = r"(v?\d+(?:\.\d+)?|auto\b)"
RANGE = re.compile(VALUE + r"(?:\s*\([^)]*\))?\s+to\s+" + VALUE)  # "0 (fastest) to 8"
DEFAULT = re.compile(r"\bdefault\s+(?:is\s+)?" + VALUE + "|"
                     + VALUE + r"\s*(?:s|seconds)?\s*\(default\)")  # "default 4", "4 (default)"
SENTENCE_END = re.compile(r"(?<=[.!?])\s+(?=[A-Z(\"])")
BLOCK_TAGS = {"p", "li", "tr", "pre", "div", "h1", "h2", "h3", "dt", "dd", "table"}
VOID_TAGS = {"br", "meta", "link", "img", "param", "hr", "input"}
MARKED = ("msg", "status")  # classes of the texts the program shows
TABLES = ("exitcodes", "options", "levels")  # classes of the tables read cell by cell
LEVEL_DBFS = re.compile(r"\blevel (\d+) \(([-\u2212]\d+\.\d) dBFS")  # "level 4 (-44.7 dBFS"


class PageParser(html.parser.HTMLParser):
    """Collects a page's title, headings, anchors and references, its text in blocks (a table
    row, a paragraph, a list item) under their headings, the texts marked as the program's, and
    the cells of the tables it checks by class."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.title = ""
        self.headings = []
        self.anchors = set()
        self.references = []  # (tag, target)
        self.sitemap = []  # "Local" values of contents and index entries
        self.blocks = []  # (is a table row, the heading above it, text)
        self.marked = []  # (class, text) of the texts marked as the program's
        self.tables = {}  # class: rows of cell texts
        self._in = None
        self._heading = ""
        self._text = []
        self._open = []  # [tag, class, text] of the open elements
        self._table = None  # the class of the checked table being read
        self._row = False  # the block being read is a table row

    def _flush(self):
        text = " ".join("".join(self._text).split())
        self._text = []
        if text:
            self.blocks.append((self._row, self._heading, text))

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag in BLOCK_TAGS:
            self._flush()
            self._row = tag == "tr"
        if tag in ("td", "th", "br"):
            self.handle_data(" ")
        checked = [c for c in (a.get("class") or "").split() if c in TABLES]
        if tag == "table" and checked:
            self._table = checked[0]
            self.tables[self._table] = []
        if tag == "tr" and self._table:
            self.tables[self._table].append([])
        if tag not in VOID_TAGS:
            self._open.append([tag, a.get("class") or "", ""])
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
        if tag in BLOCK_TAGS:
            if tag in ("h2", "h3"):
                self._heading = " ".join("".join(self._text).split())
            self._flush()
        if tag == "table":
            self._table = None
        while any(name == tag for name, _, _ in self._open):
            name, classes, text = self._open.pop()
            for marker in MARKED:
                if marker in classes.split():
                    self.marked.append((marker, " ".join(text.split())))
            if name == "td" and self._table:
                self.tables[self._table][-1].append(" ".join(text.split()))
            if name == tag:
                break

    def handle_data(self, data):
        self._text.append(data)
        for element in self._open:
            element[2] += data
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
    """Topic numbers, settings ({name: {"popup", "ranges", "defaults", "lists"}}) and texts
    ({"window": [...], "status": [...], "dbfs": {level: text}, "help": [lines]}) as the program
    has them."""
    out = subprocess.run(command, check=True, capture_output=True, text=True, timeout=120).stdout
    topics, settings, texts = [], {}, {"window": [], "status": [], "dbfs": {}, "help": []}
    for line in out.splitlines():
        kind, _, rest = line.partition(" ")
        fields = rest.split()
        if kind == "topic":
            topics.append((fields[0], int(fields[1]), int(fields[2], 16)))
        elif kind == "setting":
            settings[fields[0]] = {"popup": int(fields[1], 16), "ranges": [], "defaults": [],
                                   "lists": []}
        elif kind == "range":
            settings[fields[0]]["ranges"].append((fields[1], fields[2], fields[3:] == ["shown"]))
        elif kind == "default":
            settings[fields[0]]["defaults"].append((fields[1], fields[2:] == ["shown"]))
        elif kind == "list":
            settings[fields[0]]["lists"].append(rest.partition(" ")[2])
        elif kind == "text":
            texts[fields[0]].append(rest.partition(" ")[2])
        elif kind == "dbfs":
            texts["dbfs"][int(fields[0])] = fields[1]
        elif kind == "help":
            texts["help"].append(rest)
    return topics, settings, texts


def source_facts(root):
    """The writer's status texts, which have no names (each literal of output/ and engine/
    that starts "mmio" or "Wave", or that a writer sets as its message; one that ends in a line
    break is followed by a file name),
    and grooval-split's exit codes."""
    texts = []
    for folder in ("output", "engine"):
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith(".cpp"):
                with open(os.path.join(root, folder, name), encoding="utf-8") as f:
                    source = f.read()
                    literals = re.findall(r'"((?:mmio|Wave)(?:[^"\\]|\\.)*)"', source)
                    literals += re.findall(r'\.Set\("([A-Za-z](?:[^"\\]|\\.)*)"', source)
                    for literal in dict.fromkeys(literals):
                        head = literal.endswith("\\r\\n") or literal.endswith("\\n")
                        literal = literal.replace("\\r", " ").replace("\\n", " ").strip()
                        texts.append(literal + (" %s" if head else ""))
    with open(os.path.join(root, "split", "status.h"), encoding="utf-8") as f:
        enum = re.search(r"enum SplitExit[^{]*{([^}]*)}", f.read()).group(1)
    codes = sorted(int(v) for v in re.findall(r"=\s*(\d+)", enum))
    return texts, codes


def text_pattern(format):
    """A printf format as the manual shows it filled in, as a regular expression."""
    parts = re.split(r"(%0?\d*[xdsu])", " ".join(format.replace("&", "").split()))
    fills = {"x": "[0-9a-f]+", "d": "-?\\d+", "u": "\\d+", "s": ".+"}
    out = ""
    for i, part in enumerate(parts):
        if i % 2:
            width = re.match(r"%0(\d+)", part)
            out += "[0-9a-f]{%s}" % width.group(1) if width and part[-1] == "x" else fills[part[-1]]
        else:
            out += r"\s+".join(re.escape(word) for word in part.split(" "))
    return re.compile(out)


def check_values(place, text, context, settings, problems):
    """Every range and default in `text` is one of the settings in `context`."""
    if not context:
        return
    ranges = {(low, high) for name in context for low, high, _ in settings[name]["ranges"]}
    defaults = {value for name in context for value, _ in settings[name]["defaults"]}
    for low, high in RANGE.findall(text):
        if (low, high) not in ranges:
            problems.append("%s: \"%s to %s\" is no range of %s (the program has %s)" % (
                place, low, high, "/".join(sorted(context)),
                ", ".join("%s to %s" % r for r in sorted(ranges))))
    for found in DEFAULT.findall(text):
        value = found[0] or found[1]
        if value not in defaults:
            problems.append("%s: default %s is not the default of %s (the program has %s)" % (
                place, value, "/".join(sorted(context)), ", ".join(sorted(defaults))))


def named(text):
    return {name for name, words in SETTING_NAMES.items() if any(w in text for w in words)}


def check_blocks(place, blocks, settings, problems, always=frozenset()):
    """Table rows are one context, other blocks one per sentence; a sentence that names no
    setting but speaks of a range or default takes the settings its heading names."""
    for row, heading, text in blocks:
        parts = [text] if row else SENTENCE_END.split(text)
        for sentence in parts:
            context = set(always) | named(text if row else sentence)
            if not context and re.search(r"\b(range|default)\b", sentence):
                context = named(heading)
            check_values(place, sentence, context, settings, problems)


def check_settings(popups, parsed, settings, problems):
    """What the pop-ups and pages say of the settings."""
    for name, setting in settings.items():
        popup = popups.get(setting["popup"])
        if setting["popup"] and popup:
            for low, high, shown in setting["ranges"]:
                if shown and "%s to %s" % (low, high) not in popup[1]:
                    problems.append("pop-up %s does not give the range %s to %s"
                                    % (popup[0], low, high))
            shown = [v for v, is_shown in setting["defaults"] if is_shown]
            found = [a or b for a, b in DEFAULT.findall(popup[1])]
            if shown and shown[0] not in found:
                problems.append("pop-up %s does not give the default %s" % (popup[0], shown[0]))
    for number, (name, text) in popups.items():
        own = {s for s, setting in settings.items() if setting["popup"] == number}
        check_blocks("pop-up " + name, [(True, "", text)], settings, problems, own)
    for p, page in parsed.items():
        check_blocks(p, page.blocks, settings, problems)
    everything = " ".join(t for page in parsed.values() for _, _, t in page.blocks)
    for name, setting in settings.items():
        for listed in setting["lists"]:
            if listed not in everything:
                problems.append("no page lists the %s values %s" % (name, listed))


def check_texts(parsed, texts, source_root, problems):
    """The texts the program shows, both ways, and grooval-split's exit codes."""
    writer_texts, exit_codes = source_facts(source_root)
    shows = {"window": texts["window"], "status": texts["status"] + writer_texts}
    for marker in MARKED:
        kind = "window" if marker == "msg" else "status"
        patterns = [(t, text_pattern(t)) for t in shows[kind]]
        shown = [(p, t) for p, page in parsed.items() for m, t in page.marked if m == marker]
        for p, text in shown:
            if not any(pattern.fullmatch(text) for _, pattern in patterns):
                problems.append("%s: \"%s\" is no %s text of the program" % (p, text, kind))
        for format, pattern in patterns:
            if not any(pattern.fullmatch(text) for _, text in shown):
                problems.append("no page explains the %s text \"%s\" (class=\"%s\")"
                                % (kind, format, marker))
    help_text = " ".join(" ".join(texts["help"]).split())
    exit_names = dict(re.findall(r"(?:Exit codes:|,)\s+(\d+) ([^,(]+?)\s*(?=\(|,|\.|$)",
                                 help_text[help_text.find("Exit codes:"):]))
    if sorted(map(int, exit_names)) != exit_codes:
        problems.append("grooval-split --help names exit codes %s, it has %s"
                        % (" ".join(sorted(exit_names)), " ".join(map(str, exit_codes))))
    for p, rows in tables_of(parsed, "exitcodes", problems):
        listed = [row[0] for row in rows]
        if listed != [str(c) for c in exit_codes]:
            problems.append("%s: exit codes %s, grooval-split has %s"
                            % (p, " ".join(listed), " ".join(map(str, exit_codes))))
        for code, *means in rows:
            name, text = exit_names.get(code), " ".join(means)
            if name and not text.startswith(name):
                problems.append("%s: exit code %s is \"%s\" in grooval-split --help, not \"%s\""
                                % (p, code, name, text.split(":")[0]))


def tables_of(parsed, kind, problems):
    """(page, rows with cells) of every table of class `kind`; none is a problem."""
    found = [(p, [row for row in page.tables[kind] if row])
             for p, page in parsed.items() if kind in page.tables]
    if not found:
        problems.append("no page has the table of class=\"%s\"" % kind)
    return found


def check_split_help(parsed, texts, settings, problems):
    """The options table against --help, and the silence levels in dBFS."""
    options = {m for line in texts["help"]
               for m in re.findall(r"^\s{2,6}(?:-\w, )?(--[a-z][a-z-]*)", line)}
    for p, rows in tables_of(parsed, "options", problems):
        listed = {o for row in rows for o in re.findall(r"(?<![\w-])--[a-z][a-z-]*", row[0])}
        for option in sorted(options - listed):
            problems.append("%s: the options table lacks %s" % (p, option))
        for option in sorted(listed - options):
            problems.append("%s: the options table has %s, which --help does not" % (p, option))
    dbfs = texts["dbfs"]
    default = [v for v, _ in settings["silence"]["defaults"]]
    said = []
    for p, rows in tables_of(parsed, "levels", problems):
        for row in rows:
            for level, value in zip(row[0::2], row[1::2]):
                number = int(re.match(r"\d+", level).group())
                said.append((p, number, value.split()[0]))
                if "(" in level and str(number) not in default:
                    problems.append("%s: level %d is marked, the default is %s"
                                    % (p, number, ", ".join(default)))
    for p, page in parsed.items():
        for _, _, text in page.blocks:
            said += [(p, int(n), v) for n, v in LEVEL_DBFS.findall(text)]
    for p, number, value in said:
        if dbfs.get(number) != value.replace("\u2212", "-"):
            problems.append("%s: level %d is %s dBFS, the program has %s"
                            % (p, number, value, dbfs.get(number)))


def resolve(root, page, target):
    """(file inside the compiled file, anchor) for a reference from `page`, or None if external."""
    parts = urllib.parse.urlsplit(target)
    if parts.scheme or parts.netloc:
        return None
    path = urllib.parse.unquote(parts.path)
    inside = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
    return inside, parts.fragment


def main():
    chm, sources, source_root, command = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
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
        topics, settings, texts = program_tables(command)
        if not topics:
            problems.append("the program printed no help topics")
        for dialog, control, number in topics:
            text = popups.get(number, ("", ""))[1]
            if not text:
                problems.append("no pop-up text for %s control %d (0x%08X)" % (dialog, control, number))
        stale = set(popups) - {number for _, _, number in topics}
        for number in sorted(stale):
            problems.append("pop-up %s (0x%08X) is for no control" % (popups[number][0], number))

        check_settings(popups, parsed, settings, problems)
        check_texts(parsed, texts, source_root, problems)
        check_split_help(parsed, texts, settings, problems)

    for problem in problems:
        print("FAIL: " + problem)
    print("%d pages, %d pop-ups for %d topics, %d links and references checked"
          % (len(pages), len(popups), len(topics), links))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
