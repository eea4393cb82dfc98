#!/usr/bin/env python3
"""grooval-split for a record collector, read back by readers that share nothing with it.

A side whose songs segue through a short dip and one song with a long soft passage is cut by
--tracks with titles and tags; the cuts must fall in the silences the side was made with, and
the track files (walked as RIFF here, opened by Python's wave module and by sox), their INFO
chunks, the cue sheet, the --dry-run list and the SVG's cut positions must all agree. Hostile
titles must never put a file outside the folder, and a second run never overwrites the first.

Usage: sleeve_check.py GROOVAL_SPLIT_EXE BENCH_DIR
"""
import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import wave
import xml.etree.ElementTree as ElementTree

RATE = 44100
BLOCK = 5880  # frames in one capture block
SVG = "{http://www.w3.org/2000/svg}"
HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "scripts", "wine-run.sh")

# Passages in blocks: S silence, L a song, Q its soft passage (above the silence level).
SIDE = [("S", 4), ("L", 20), ("S", 18), ("L", 15), ("S", 2), ("L", 12), ("Q", 25), ("L", 10),
        ("S", 20), ("L", 16), ("S", 15), ("L", 14), ("S", 8)]
TITLES = ["Opening", "Guest Star - Segue Part 1", "Segue Part 2", "Quiet Song", "Café Noir"]
HOSTILE = [b"..\\x", b"CON", b"a" * 300, b"ctl\x01\x1b[31m\x7f end", b"bad \xff\xfe utf",
           b"../../escape/../x"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def windows(path):
    return "Z:" + path.replace("/", "\\")


def write_side(path, passages):
    """Writes the side; returns the silent runs between songs as (first block, end block)."""
    random.seed(19)
    frames = bytearray()
    block = 0
    runs = []
    for kind, blocks in passages:
        for n in range(blocks * BLOCK):
            t = (block * BLOCK + n) / RATE
            if kind == "S":
                left, right = random.randint(-4, 3), random.randint(-4, 3)
            else:
                scale = 1.0 if kind == "L" else 0.045  # soft: level about 7
                left = int(9000 * scale * math.sin(2 * math.pi * (330 + 40 * len(runs)) * t))
                right = int(7000 * scale * math.sin(2 * math.pi * 550 * t))
            frames += struct.pack("<hh", left, right)
        if kind == "S" and 0 < block and block + blocks < sum(b for _, b in passages):
            runs.append((block, block + blocks))
        block += blocks
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))
    return runs, bytes(frames)


def run_tool(exe, bench, *arguments):
    result = subprocess.run([WINE_RUN, bench, exe, *arguments], capture_output=True, timeout=300)
    # The tool writes its own code page, UTF-8, into a pipe.
    return (result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", ""),
            result.stderr.decode("utf-8", "replace").replace("\r", ""))


def riff_chunks(path):
    """The top-level chunks of a RIFF WAVE file as (id, body), checking every length."""
    data = open(path, "rb").read()
    check(data[:4] == b"RIFF" and data[8:12] == b"WAVE", f"{path}: not RIFF WAVE")
    check(struct.unpack_from("<I", data, 4)[0] + 8 == len(data), f"{path}: RIFF length")
    chunks, at = [], 12
    while at + 8 <= len(data):
        ident, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        check(at + 8 + size <= len(data), f"{path}: chunk {ident} past the end")
        chunks.append((ident, data[at + 8:at + 8 + size]))
        at += 8 + size + (size & 1)
    check(at == len(data), f"{path}: bytes after the last chunk")
    return chunks


def info_tags(body):
    check(body[:4] == b"INFO", "LIST is not INFO")
    tags, at = {}, 4
    while at + 8 <= len(body):
        ident, size = body[at:at + 4].decode(), struct.unpack_from("<I", body, at + 4)[0]
        text = body[at + 8:at + 8 + size]
        check(text.endswith(b"\0"), f"{ident} not zero-terminated")
        tags[ident] = text[:-1].decode("utf-8")
        at += 8 + size + (size & 1)
    return tags


def svg_tracks(path):
    root = ElementTree.parse(path).getroot()  # well-formed XML, or this raises
    return [(int(g.get("data-number")), int(g.get("data-start")), int(g.get("data-end")),
             " ".join(t.text or "" for t in g.iter(SVG + "text")))
            for g in root.iter(SVG + "g") if g.get("class") == "track"]


def cue_tracks(path):
    raw = open(path, "rb").read()
    try:  # the sheet is in the tool's code page: UTF-8, or Windows' Western one
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        text = raw.decode("cp1252")
    tracks = []
    for block in text.split("  TRACK ")[1:]:
        fields = dict(re.findall(
            r'^\s+(TITLE|PERFORMER|REM TRACKFILE|INDEX 01|REM END) "?([^"\r]*)', block, re.M))
        tracks.append(fields)
    return text, tracks


def cue_time(frames):
    cue = frames * 75 // RATE
    return f"{cue // 4500:02d}:{cue // 75 % 60:02d}:{cue % 75:02d}"


def check_titled_run(exe, bench, work, side, runs, samples):
    out = os.path.join(work, "out")
    os.makedirs(out)
    titles = os.path.join(work, "titles.txt")
    open(titles, "wb").write(("\n".join(TITLES) + "\n").encode("utf-8"))
    common = ["--tracks", "5", "--titles", windows(titles), "--artist", "The Band", "--album",
              "Test Pressing", "--year", "1958", "-o", windows(out)]
    code, stdout, stderr = run_tool(exe, bench, *common, "--dry-run", "--preview",
                                    windows(os.path.join(work, "dry.svg")), windows(side))
    check(code == 0 and os.listdir(out) == [], f"dry run: exit {code}, files {os.listdir(out)}")
    dry_lines = [line for line in stdout.splitlines() if re.match(r"\d\d  ", line)]
    code, stdout, stderr = run_tool(exe, bench, *common, "--cue", "--preview",
                                    windows(os.path.join(work, "side.svg")), windows(side))
    check(code == 0 and stderr == "", f"run: exit {code}, stderr {stderr!r}")
    run_lines = [line for line in stdout.splitlines() if re.match(r"\d\d  ", line)]
    check(run_lines == dry_lines, f"the run lists {run_lines}, the dry run {dry_lines}")

    drawn = svg_tracks(os.path.join(work, "side.svg"))
    check(drawn == svg_tracks(os.path.join(work, "dry.svg")), "dry run and run drew other cuts")
    check(len(drawn) == 5, f"{len(drawn)} tracks drawn")
    # The cuts fall in the silences the side was made with, within one block.
    for (_, _, end, _), (_, start, _, _), (first, last) in zip(drawn, drawn[1:], runs):
        check(first * BLOCK <= end <= (last + 1) * BLOCK and (first - 1) * BLOCK <= start
              <= last * BLOCK, f"cut {end}..{start} not in the silence {first}..{last}")
    cue_text, cued = cue_tracks(os.path.join(out, "0001-0005.cue"))
    check('REM DATE 1958\r\nPERFORMER "The Band"\r\nTITLE "Test Pressing"\r\n' in cue_text,
          "cue sheet album lines")
    for number, (n, start, end, labels) in enumerate(drawn, 1):
        artist, _, title = TITLES[number - 1].rpartition(" - ")
        name = f"{number:02d} {title}.wav"
        path = os.path.join(out, name)
        check(n == number and title in labels, f"SVG track {n}: {labels!r}")
        check(os.path.exists(path), f"no file {name}: {os.listdir(out)}")
        if not os.path.exists(path):
            continue
        chunks = riff_chunks(path)
        check([c[0] for c in chunks] == [b"fmt ", b"fact", b"data", b"LIST"], f"{name} chunks")
        body = dict(chunks)
        frames = len(body[b"data"]) // 4
        check(body[b"data"] == samples[start * 4:end * 4], f"{name}: not the SVG's frames")
        check(struct.unpack("<I", body[b"fact"])[0] == frames, f"{name}: fact")
        tags = info_tags(body[b"LIST"])
        expected = {"INAM": title, "IART": artist or "The Band", "IPRD": "Test Pressing",
                    "ITRK": str(number), "ICRD": "1958"}
        check(tags == expected, f"{name}: tags {tags}")
        with wave.open(path) as read:
            check(read.getnframes() == frames and read.getnchannels() == 2, f"{name}: wave module")
        soxi = subprocess.run(["soxi", "-s", path], capture_output=True, text=True)
        check(soxi.stdout.strip() == str(frames), f"{name}: soxi says {soxi.stdout!r}")
        walked = subprocess.run(["sox", "-V6", path, "-n"], capture_output=True, text=True).stderr
        check(f"chunk `INAM' of length {len(title.encode()) + 1} bytes" in walked
              and "Chunk ICRD" in walked, f"{name}: sox did not walk the INFO chunk")
        track = cued[number - 1]
        check(track.get("TITLE") == title and track.get("PERFORMER") == (artist or "The Band")
              and track.get("INDEX 01") == cue_time(start)
              and track.get("REM END") == cue_time(end), f"cue track {number}: {track}")
        check(f"{number:02d}  {cue_time(start)}  {cue_time(end)}  {cue_time(end - start)}  "
              f"{title}  ({name})" in dry_lines, f"dry run list lacks track {number}: {dry_lines}")

    # A second run into the same folder writes beside the first, never over it.
    before = {name: open(os.path.join(out, name), "rb").read() for name in os.listdir(out)}
    code, _, stderr = run_tool(exe, bench, *common, windows(side))
    check(code == 0, f"second run: exit {code}, {stderr}")
    for name, data in before.items():
        check(open(os.path.join(out, name), "rb").read() == data, f"{name} was overwritten")
    check(os.path.exists(os.path.join(out, "01 Opening (2).wav")), f"{sorted(os.listdir(out))}")


def check_hostile_titles(exe, bench, work):
    passages = [("S", 3)] + [p for _ in HOSTILE for p in (("L", 8), ("S", 12))]
    inputs = os.path.join(work, "hostile")
    out = os.path.join(inputs, "out")
    os.makedirs(out)
    side, titles = os.path.join(inputs, "side.wav"), os.path.join(inputs, "titles.txt")
    write_side(side, passages)
    open(titles, "wb").write(b"\n".join(HOSTILE) + b"\n")
    before = {os.path.join(where, f) for where, _, files in os.walk(work) for f in files}
    code, stdout, stderr = run_tool(exe, bench, "--tracks", str(len(HOSTILE)), "--titles",
                                    windows(titles), "--preview", windows(out + "/h.svg"),
                                    "-o", windows(out), windows(side))
    check(code == 0, f"hostile: exit {code}: {stderr}")
    check("titles line 5 is not UTF-8" in stderr, f"hostile: no warning: {stderr!r}")
    made = {os.path.join(where, f) for where, _, files in os.walk(work) for f in files} - before
    outside = [f for f in made if os.path.dirname(f) != out]
    check(outside == [], f"hostile titles made files outside the folder: {outside}")
    names = sorted(f for f in os.listdir(out) if f.endswith(".wav"))
    check(len(names) == len(HOSTILE), f"hostile: {names}")
    for number, name in enumerate(names, 1):
        check(name.startswith(f"{number:02d} ") and len(windows(os.path.join(out, name))) < 260,
              f"hostile name {name!r}")
        check("INAM" in info_tags(dict(riff_chunks(os.path.join(out, name)))[b"LIST"]),
              f"{name}: no title tag")
    check(names[:2] == ["01 .._x.wav", "02 CON.wav"], f"hostile names {names[:2]}")
    check(len(svg_tracks(os.path.join(out, "h.svg"))) == len(HOSTILE), "hostile SVG")


def main():
    exe, bench = sys.argv[1], sys.argv[2]
    work = os.path.join(bench, "scratch", "split-sleeve-check")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    side = os.path.join(work, "side.wav")
    runs, samples = write_side(side, SIDE)
    check_titled_run(exe, bench, work, side, runs, samples)
    check_hostile_titles(exe, bench, work)
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    print(f"sleeve_check: {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
