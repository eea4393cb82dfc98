#!/usr/bin/env python3
"""The random mutants' generator on a planted tree: each rule gives its mutation where it
applies and nothing in comments, literals or preprocessor lines; a seed always picks the same
mutants, and only on the files (outside tests/) and lines a range of commits changed.
Usage: random_mutants_test.py SOURCE_ROOT
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(sys.argv[1], "scripts"))
import random_mutants  # noqa: E402

PLANTED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "planted")
FILE = "dsp/planted.cpp"
FIRST_CHANGED = "int Planted("  # the second commit adds this line and the ones below it

# Each line of the planted file and every mutation it gives; a line not here gives none.
CASES = [
    ("#include <vector>", []),
    ("#define CLAMP(a) ((a) < 3 ? 1 : 2)", []),
    ("if ((a) < 3) return 1;", []),  # a continued macro
    ("constexpr int kLimit = 0x7F;", [("constant", "constexpr int kLimit = 0x80;"),
                                      ("constant", "constexpr int kLimit = 0x7E;")]),
    ("constexpr double kScale = 0.5;  // 2 < 3 in a comment", []),
    ("bool operator<(const Planted& a, const Planted& b);", []),
    ("int Planted(std::vector<int>& values, int count) {", []),
    ("int total = 0;", [("constant", "int total = 1;")]),
    ("/* a block comment: if (count < 2) return 0;", []),
    ("total = count == 1; */", []),
    ('const char* text = "count < 2 && total == 1";', []),
    ('const char* raw = R"(a "<" b)";', []),
    ("std::vector<std::vector<int>> nested;", []),
    ("auto&& first = values.front();", []),
    ("auto &&last = values.back();", []),
    ("total += '<' + 1'000;", [("delete", "{}")]),  # a character and a digit separator
    ("if (count < kLimit && total != 1) return -1;", [
        ("relational", "if (count <= kLimit && total != 1) return -1;"),
        ("relational", "if (count < kLimit && total == 1) return -1;"),
        ("constant", "if (count < kLimit && total != 2) return -1;"),
        ("constant", "if (count < kLimit && total != 0) return -1;"),
        ("constant", "if (count < kLimit && total != 1) return -2;"),
        ("constant", "if (count < kLimit && total != 1) return -0;"),
        ("logical", "if (count < kLimit || total != 1) return -1;"),
        ("negate", "if (!(count < kLimit && total != 1)) return -1;"),
        ("delete", "if (count < kLimit && total != 1) {}")]),
    ("while (total >= count || count > 2)", [
        ("relational", "while (total > count || count > 2)"),
        ("relational", "while (total >= count || count >= 2)"),
        ("constant", "while (total >= count || count > 3)"),
        ("constant", "while (total >= count || count > 1)"),
        ("logical", "while (total >= count && count > 2)"),
        ("negate", "while (!(total >= count || count > 2))")]),
    ("total += 2;", [("constant", "total += 3;"), ("constant", "total += 1;"),
                     ("delete", "{}")]),  # the body of a braceless while
    ("for (int i = 0; i <= count; ++i) Record(values[i]);", [
        ("relational", "for (int i = 0; i < count; ++i) Record(values[i]);"),
        ("constant", "for (int i = 1; i <= count; ++i) Record(values[i]);"),
        ("delete", "for (int i = 0; i <= count; ++i) {}")]),
    ("total = static_cast<int>(values.size());", [("delete", "{}")]),
    ("values.clear();", [("delete", "{}")]),
    ("total = count +", []),
    ("Size(values);", []),  # a call's look, but the end of the statement above
    ("if (count == 3) {", [("relational", "if (count != 3) {"), ("constant", "if (count == 4) {"),
                           ("constant", "if (count == 2) {"), ("negate", "if (!(count == 3)) {")]),
    ("return count;", [("delete", "{}")]),  # an early return
    ("return total;", []),  # the function's last: without it the function falls off its end
]


def commit(repo, message):
    git = ["git", "-C", repo, "-c", "user.name=test", "-c", "user.email=test@localhost"]
    subprocess.run(git + ["add", "-A"], check=True, capture_output=True)
    subprocess.run(git + ["commit", "-q", "-m", message], check=True, capture_output=True)


def picked(repo, seed, lines="changed", under=(), count=1000, equivalent=None):
    return random_mutants.pick(repo, "HEAD~1..HEAD", count, seed, lines, list(under),
                               equivalent or {})


def main():
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append(f"{what}:\n  got  {got}\n  want {want}")

    lines = random_mutants.read_lines(os.path.join(PLANTED, FILE))
    stripped = [line.strip() for line in lines]
    found = {}
    for number, rule, after in random_mutants.mutations(lines):
        found.setdefault(stripped[number - 1], set()).add((rule, after.strip()))
    for text, want in CASES:
        expect(f"{text} (lines holding it: {stripped.count(text)})",
               (stripped.count(text), found.get(text, set())), (1, set(want)))
    expect("lines mutated outside the table", set(found) - {text for text, _ in CASES}, set())

    first = next(n for n, line in enumerate(lines, 1) if line.startswith(FIRST_CHANGED))
    mutated = {n for n, _, _ in random_mutants.mutations(lines)}
    with tempfile.TemporaryDirectory() as repo:
        subprocess.run(["git", "init", "-q", repo], check=True, capture_output=True)
        shutil.copytree(PLANTED, repo, dirs_exist_ok=True)
        shutil.rmtree(os.path.join(repo, "tests"))
        with open(os.path.join(repo, FILE), "w") as f:
            f.write("\n".join(lines[:first - 1]) + "\n")
        commit(repo, "before")
        shutil.copytree(PLANTED, repo, dirs_exist_ok=True)
        commit(repo, "after")
        files, _, changed = picked(repo, 1)
        expect("files of the range", files, [FILE])
        expect("changed lines", {m["line"] for m in changed}, {n for n in mutated if n >= first})
        expect("every line", {m["line"] for m in picked(repo, 1, "all")[2]}, mutated)
        expect("the same seed", picked(repo, 1)[2], changed)
        expect("another seed differs", picked(repo, 2)[2] != changed, True)
        expect("the count", len({m["line"] for m in picked(repo, 7, count=3)[2]}), 3)
        expect("files restricted", picked(repo, 1, under=["engine"])[:2], ([], 0))
        one = changed[0]["key"]
        expect("an equivalent mutant keeps its reason",
               [m["equivalent"] for m in picked(repo, 1, equivalent={one: "why"})[2]
                if m["key"] == one], ["why"])
    for failure in failures:
        print(failure)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
