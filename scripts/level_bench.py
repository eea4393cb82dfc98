#!/usr/bin/python3
"""The cut figures of one side cut by grooval-split (used by scripts/level-bench.sh).

    level_bench.py SIDE PREVIEW.svg LABEL

SIDE is a side of scripts/real_sides.py (SIDE.txt, SIDE-music.wav); PREVIEW.svg the tool's
--preview of it, whose tracks carry their frames (data-start, data-end). Music above -50 dBFS
is counted in the side's music without its noise, two ways: "samples", every frame in which a
channel's sample reaches -50 dBFS (103.6); "rms", every frame whose 50 ms around it have an RMS
of -50 dBFS or more in a channel. For each, one line: the music above -50 dBFS lost before each
piece's track starts and after it ends (sum over the pieces and largest, seconds), all of it
that no track holds, and the cuts that fall in a gap (outside every piece's music above
-50 dBFS) of all cuts; then the pieces split over several tracks, joined into one track with
another, missing, and the tracks that hold no piece.
"""
import re
import sys
import wave

import numpy as np

RATE = 44100
LOUD = 32768.0 * 10.0 ** (-50.0 / 20.0)
RMS_FRAMES = RATE // 20  # 50 ms


def loud_frames(side):
    with wave.open(side + "-music.wav", "rb") as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").reshape(-1, 2)
    data = data.astype(np.float64)
    samples = np.max(np.abs(data), axis=1) >= LOUD
    sums = np.vstack([np.zeros((1, 2)), np.cumsum(data ** 2, axis=0)])
    at = np.arange(len(data))
    low = np.clip(at - RMS_FRAMES // 2, 0, len(data))
    high = np.clip(at + RMS_FRAMES // 2, 0, len(data))
    power = (sums[high] - sums[low]) / (high - low)[:, None]
    rms = np.sqrt(np.max(power, axis=1)) >= LOUD
    return {"samples": samples, "rms": rms}


def pieces_of(side):
    pieces = []
    for line in open(side + ".txt"):
        if not line.startswith("#") and line.strip():
            pieces.append(tuple(int(v) for v in line.split("\t")[:2]))
    return pieces


def tracks_of(preview):
    text = open(preview, encoding="utf-8").read()
    found = re.findall(r'class="track"[^>]*data-start="(\d+)" data-end="(\d+)"', text)
    return [(int(a), int(b)) for a, b in found]


def figures(loud, pieces, tracks):
    spans = []
    for first, end in pieces:
        frames = np.flatnonzero(loud[first:end])
        spans.append((first + int(frames[0]), first + int(frames[-1]) + 1))
    before, after, split, missing = [], [], 0, 0
    holders = [[] for _ in tracks]
    for p, (first, end) in enumerate(spans):
        over = [t for t, (s, e) in enumerate(tracks) if s < end and e > first]
        if not over:
            missing += 1
            continue
        split += len(over) > 1
        for t in over:
            holders[t].append(p)
        before.append(max(0, tracks[over[0]][0] - first) / RATE)
        after.append(max(0, end - tracks[over[-1]][1]) / RATE)
    kept = np.zeros(len(loud), dtype=bool)
    for s, e in tracks:
        kept[s:e] = True
    cuts = [c for s, e in tracks for c in (s, e)]
    in_gaps = sum(1 for c in cuts if not any(first < c < end for first, end in spans))
    text = ("before %5.2f s (max %4.2f)  after %5.2f s (max %4.2f)  lost %5.2f s  cuts in gaps "
            "%2d/%-2d" % (sum(before), max(before, default=0), sum(after),
                          max(after, default=0), np.count_nonzero(loud & ~kept) / RATE, in_gaps,
                          len(cuts)))
    joined = sum(len(h) - 1 for h in holders if len(h) > 1)
    empty = sum(1 for h in holders if not h)
    return text, (split, joined, missing, empty)


def main():
    side, preview, label = sys.argv[1:4]
    pieces, tracks = pieces_of(side), tracks_of(preview)
    print(label)
    for name, loud in loud_frames(side).items():
        text, counts = figures(loud, pieces, tracks)
        print("  %-8s %s" % (name, text))
    print("  split %d  joined %d  missing %d  extra %d" % counts)


if __name__ == "__main__":
    main()
