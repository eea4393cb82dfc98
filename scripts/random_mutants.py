#!/usr/bin/env python3
"""Random mutants for scripts/mutants.sh --random: one-line faults on the C++ files (outside
tests/) that a range of commits changed, picked by a seed.

  random_mutants.py pick ROOT --commits A..B --count N --seed S [--lines changed|all]
                    [--files PATH...] [--equivalent FILE] --out LIST
  random_mutants.py show LIST I         the I-th mutant (from 1) as shell assignments
  random_mutants.py apply ROOT LIST I   writes the I-th mutant into the tree

The rules, each on one line of code (comments, literals and preprocessor lines never touched):
  relational  a comparison's boundary moved or an equality turned: < <=, > >=, == !=
  constant    an integer constant one more or one less
  logical     && and || swapped
  negate      the condition of an if or a while negated
  delete      one statement made empty: an assignment (a reset too), a call, or a return
              that leaves a function early
A mutant's key is file:line:rule-hash, the hash of the line before and after; the equivalent
file lists `key reason` for mutants judged by hand to behave as the original.
"""
import argparse
import hashlib
import json
import random
import re
import shlex
import subprocess
import sys

RULES = ("relational", "constant", "logical", "negate", "delete")
SOURCE_ENDINGS = (".cpp", ".h")
TOKEN = re.compile(r"[A-Za-z_]\w*|(?:\d|\.\d)(?:[eEpP][+-]|[\w.'])*|<<=|>>=|->\*|->|<=>|<<|>>"
                   r"|<=|>=|==|!=|&&|\|\||\+\+|--|::|[+\-*/%&|^]=|\S")
INTEGER = re.compile(r"^(0[xX][0-9a-fA-F]+|[1-9][0-9]*|0)([uU](?:ll|LL|l|L)?|(?:ll|LL|l|L)[uU]?)?$")
FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ASSIGN = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}
CONTROL = {"if", "else", "for", "while", "do", "switch", "case", "default", "try", "catch"}
# Words that start a declaration or are no expression: a line starting with one is no
# assignment or call.
NOT_EXPRESSION = {"return", "auto", "const", "constexpr", "static", "int", "unsigned", "double",
                  "float", "bool", "char", "long", "short", "void", "using", "typedef",
                  "template", "typename", "class", "struct", "enum", "namespace", "delete",
                  "new", "throw", "goto", "static_assert", "operator", "sizeof", "case",
                  "default", "break", "continue", "public", "private", "protected", "friend",
                  "virtual", "explicit", "inline", "extern"} | CONTROL
TEMPLATE_INSIDE = re.compile(r"^([A-Za-z_]\w*|\d\w*|::|,|\*|&|\(|\)|\[|\])$")
RAW_PREFIX = re.compile(r'(?:u8|[uUL])?R$')


def blank(lines):
    """Each line's code, with comments and the insides of literals made spaces (positions kept),
    and whether it is a preprocessor line."""
    out, closing, continued = [], None, False
    for line in lines:
        code, i = list(line), 0
        preprocessor = continued or (closing is None and line.lstrip().startswith("#"))
        while i < len(line):
            if closing is not None:
                j = line.find(closing, i)
                end = len(line) if j < 0 else j + len(closing)
                code[i:end] = " " * (end - i)
                closing, i = (closing if j < 0 else None), end
            elif line.startswith("//", i):
                code[i:] = " " * (len(line) - i)
                break
            elif line.startswith("/*", i):
                code[i:i + 2] = "  "
                closing, i = "*/", i + 2
            elif line[i] in "\"'" and not (line[i] == "'" and i and line[i - 1].isalnum()):
                raw = line[i] == '"' and RAW_PREFIX.search(line[max(0, i - 3):i])
                if raw:
                    delimiter = line[i + 1:line.find("(", i)]
                    code[i] = " "
                    closing, i = ")" + delimiter + '"', i + 1
                    continue
                j = i + 1
                while j < len(line) and line[j] != line[i]:
                    j += 2 if line[j] == "\\" else 1
                code[i + 1:j] = " " * (min(j, len(line)) - i - 1)
                i = j + 1
            else:
                i += 1
        continued = preprocessor and line.rstrip().endswith("\\")
        out.append(("" if preprocessor else "".join(code), preprocessor))
    return out


def tokens(code):
    return [(m.group(), m.start(), m.end()) for m in TOKEN.finditer(code)]


def matching(toks, k):
    """The index of the bracket closing toks[k] on the same line, or None."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    depth = 0
    for j in range(k, len(toks)):
        if toks[j][0] == toks[k][0]:
            depth += 1
        elif toks[j][0] == pairs[toks[k][0]]:
            depth -= 1
            if depth == 0:
                return j
    return None


def template_brackets(toks):
    """Indices of < and > that are template brackets, not comparisons."""
    found = set()
    for k, (text, _, _) in enumerate(toks):
        if text != "<" or k in found or k == 0 or not re.match(r"[A-Za-z_]", toks[k - 1][0]):
            continue
        depth, inside = 1, [k]
        for j in range(k + 1, len(toks)):
            t = toks[j][0]
            if t in ("<", ">", ">>"):
                depth += {"<": 1, ">": -1, ">>": -2}[t]
                inside.append(j)
            elif not TEMPLATE_INSIDE.match(t):
                break
            if depth <= 0:
                found.update(inside)
                break
    return found


def relational(code, toks, context):
    templates = template_brackets(toks)
    for k, (text, start, end) in enumerate(toks):
        if text in FLIP and k not in templates and not (k and toks[k - 1][0] == "operator"):
            yield start, end, FLIP[text]


def constant(code, toks, context):
    for text, start, end in toks:
        m = INTEGER.match(text)
        if not m:
            continue
        digits, suffix = m.group(1), m.group(2) or ""
        hexa = digits[:2].lower() == "0x"
        value = int(digits, 16 if hexa else 10)
        for moved in (value + 1, value - 1):
            if moved < 0:
                continue
            if hexa:
                body = "%0*x" % (len(digits) - 2, moved)
                body = body.upper() if digits[2:].isupper() else body
                yield start, end, digits[:2] + body + suffix
            else:
                yield start, end, str(moved) + suffix


def logical(code, toks, context):
    for text, start, end in toks:
        spaced = (start == 0 or code[start - 1].isspace()) and (end == len(code) or code[end].isspace())
        if text in ("&&", "||") and spaced:
            yield start, end, "||" if text == "&&" else "&&"


def negate(code, toks, context):
    for k, (text, _, _) in enumerate(toks):
        if text in ("if", "while") and k + 1 < len(toks) and toks[k + 1][0] == "(":
            close = matching(toks, k + 1)
            if close is not None and close > k + 2:
                inner = code[toks[k + 1][2]:toks[close][1]]
                yield toks[k + 1][2], toks[close][1], "!(" + inner + ")"


def statement_start(toks):
    """Where the statement of a line starts: after a leading if/while/for header or else."""
    if toks and toks[0][0] in ("if", "while", "for") and len(toks) > 1 and toks[1][0] == "(":
        close = matching(toks, 1)
        return None if close is None else close + 1
    if toks and toks[0][0] == "else" and not (len(toks) > 1 and toks[1][0] == "if"):
        return 1
    return 0


def is_assignment_or_call(stmt):
    """An assignment (x = ..., x += ..., ++x, x--) or a call (f(...), a.b->c(...))."""
    first = stmt[0][0]
    if first in ("++", "--", "*"):
        stmt = stmt[1:]
    if not stmt or not re.match(r"[A-Za-z_]", stmt[0][0]) or stmt[0][0] in NOT_EXPRESSION:
        return False
    k = 1
    while k < len(stmt):
        t = stmt[k][0]
        if t in ("::", ".", "->") and k + 1 < len(stmt) and re.match(r"[A-Za-z_]", stmt[k + 1][0]):
            k += 2
        elif t == "[":
            close = matching(stmt, k)
            if close is None:
                return False
            k = close + 1
        else:
            break
    rest = [t[0] for t in stmt[k:]]
    return bool(rest) and (rest[0] in ASSIGN or rest[0] in ("++", "--", "(") or first in ("++", "--"))


def delete(code, toks, context):
    s = statement_start(toks)
    if s is None or s >= len(toks) or toks[-1][0] != ";":
        return
    stmt = toks[s:]
    words = [t[0] for t in stmt]
    if "{" in words or "}" in words or words.count(";") != 1 or words.count("(") != words.count(")"):
        return
    if s == 0 and not context["starts_statement"]:
        return
    governed = s > 0 or context["governed"]
    if words[0] == "return":
        if not (governed or context["in_control_block"]):
            return  # the function's last return: without it the function falls off its end
    elif not is_assignment_or_call(stmt):
        return
    yield stmt[0][1], stmt[-1][2], "{}"


RULE_FUNCTIONS = dict(zip(RULES, (relational, constant, logical, negate, delete)))


def contexts(blanked):
    """Per line: whether a statement may start there, whether a braceless if/else/loop governs
    it, and whether its innermost block belongs to a control statement."""
    out, stack, previous = [], [], []
    for code, preprocessor in blanked:
        toks = tokens(code)
        if preprocessor or not toks:
            out.append(None)
            continue
        last = previous[-1][0] if previous else ";"
        head = next((t[0] for t in previous if t[0] != "}"), "")
        out.append({"starts_statement": last in (";", "{", "}", ")", ":") or last == "else",
                    "governed": last == ")" and head in ("if", "for", "while") or last == "else",
                    "in_control_block": bool(stack) and stack[-1]})
        # A block belongs to the statement its line starts, or the line before when it starts
        # with the brace.
        first = next((t[0] for t in toks if t[0] not in ("{", "}")), None)
        if first is None:
            first = next((t[0] for t in previous if t[0] != "}"), "")
        for t in toks:
            if t[0] == "{":
                stack.append(first in CONTROL)
            elif t[0] == "}" and stack:
                stack.pop()
        previous = toks
    return out


def mutations(lines):
    """Every mutation of a file's lines: (line number from 1, rule, the line after)."""
    blanked = blank(lines)
    found = []
    for number, ((code, _), context) in enumerate(zip(blanked, contexts(blanked)), 1):
        if context is None:
            continue
        line, toks = lines[number - 1], tokens(code)
        for rule in RULES:
            for start, end, text in RULE_FUNCTIONS[rule](code, toks, context):
                found.append((number, rule, line[:start] + text + line[end:]))
    return found


def key(file, number, rule, before, after):
    digest = hashlib.sha1((before.strip() + "\n" + after.strip()).encode()).hexdigest()[:8]
    return f"{file}:{number}:{rule}-{digest}"


def git(root, *args):
    done = subprocess.run(["git", "-C", root, *args], capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f"git {' '.join(args)}: {done.stderr.strip()}")
    return done.stdout


def changed_files(root, commits, under):
    first, last = commits.split("..")
    names = git(root, "diff", "--name-only", "--diff-filter=AMR", first, last).split()
    return sorted(n for n in names if n.endswith(SOURCE_ENDINGS) and not n.startswith("tests/")
                  and (not under or any(n == u or n.startswith(u.rstrip("/") + "/")
                                        for u in under)))


def changed_lines(root, commits, file):
    first, last = commits.split("..")
    diff = git(root, "diff", "-U0", "--no-color", first, last, "--", file)
    lines = set()
    for m in re.finditer(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", diff, re.M):
        start, count = int(m.group(1)), int(m.group(2) or 1)
        lines.update(range(start, start + count))
    return lines


def read_lines(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        return f.read().split("\n")


def read_equivalent(path):
    reasons = {}
    for line in read_lines(path) if path else []:
        if line.strip() and not line.startswith("#"):
            k, _, reason = line.strip().partition(" ")
            reasons[k] = reason.strip()
    return reasons


def pick(root, commits, count, seed, lines_mode, under, equivalent):
    """The mutants of a seed: candidates in a fixed order, shuffled, at most one per line."""
    last = commits.split("..")[1]
    files = changed_files(root, commits, under)
    stale = [f for f in files if subprocess.run(["git", "-C", root, "diff", "--quiet", last,
                                                 "--", f]).returncode != 0]
    if stale:
        raise SystemExit(f"the tree's {' '.join(stale)} differ from {last}: commit them or "
                         "end the range at the tree's commit")
    candidates = []
    for file in files:
        lines = read_lines(f"{root}/{file}")
        wanted = changed_lines(root, commits, file) if lines_mode == "changed" else None
        candidates += [(file, n, rule, lines[n - 1], after) for n, rule, after in mutations(lines)
                       if wanted is None or n in wanted]
    order = list(range(len(candidates)))
    random.Random(seed).shuffle(order)
    chosen, used = [], set()
    for i in order:
        file, n, rule, before, after = candidates[i]
        if (file, n) not in used and len(chosen) < count:
            used.add((file, n))
            k = key(file, n, rule, before, after)
            chosen.append({"file": file, "line": n, "rule": rule, "before": before,
                           "after": after, "key": k, "equivalent": equivalent.get(k, "")})
    return files, len(candidates), chosen


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("pick")
    p.add_argument("root")
    p.add_argument("--commits", required=True)
    p.add_argument("--count", type=int, required=True)
    p.add_argument("--seed", type=int, required=True)
    p.add_argument("--lines", choices=("changed", "all"), default="changed")
    p.add_argument("--files", nargs="*", default=[])
    p.add_argument("--equivalent")
    p.add_argument("--out", required=True)
    for name, extra in (("show", []), ("apply", ["root"])):
        s = sub.add_parser(name)
        for a in extra + ["list", "index"]:
            s.add_argument(a)
    args = parser.parse_args()
    if args.command == "pick":
        if args.commits.count("..") != 1 or "..." in args.commits:
            parser.error("--commits takes a range A..B")
        files, total, chosen = pick(args.root, args.commits, args.count, args.seed, args.lines,
                                    args.files, read_equivalent(args.equivalent))
        with open(args.out, "w", encoding="utf-8", errors="surrogateescape") as out:
            out.writelines(json.dumps(m) + "\n" for m in chosen)
        where = "the lines changed in" if args.lines == "changed" else "every line of the files of"
        print(f"seed {args.seed}: {len(chosen)} mutants of {total} on {where} "
              f"{args.commits}, {len(files)} files: {' '.join(files)}")
        return 0
    with open(args.list, encoding="utf-8", errors="surrogateescape") as f:
        m = json.loads(f.read().splitlines()[int(args.index) - 1])
    if args.command == "show":
        print("\n".join(f"m_{k}={shlex.quote(str(v))}" for k, v in m.items()))
        return 0
    path = f"{args.root}/{m['file']}"
    lines = read_lines(path)
    if lines[m["line"] - 1] != m["before"]:
        raise SystemExit(f"{m['file']}:{m['line']} is no longer the line picked")
    lines[m["line"] - 1] = m["after"]
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
