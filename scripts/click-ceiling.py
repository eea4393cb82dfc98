#!/usr/bin/python3
"""How well could any declicker do on a side with injected clicks? An upper bound per click.

    click-ceiling.py CLEAN.wav CLICKED.wav CLICKS.tsv [ORDER]

CLICKED.wav and CLICKS.tsv as scripts/inject-clicks.py writes them. For each click in each
channel: a linear-prediction model of ORDER (default 32) is fitted by least squares to the
clean music around it (1024 samples each side), and the click itself, the clicked side less
the clean one, is whitened by it. Its energy over the music's own prediction error is what a
detector that knew the click's shape and place would see, in deviations; a real one must
search for both, and stay above the music's own largest errors. Prints the share of clicks
(their best channel) and of click-channels at 4 to 10 deviations, by shape and width, and the
most the whole side's error could fall if every click channel at each level or more were taken
out without error and the rest left.
"""
import sys
import wave

import numpy as np

CONTEXT = 1024
LEVELS = (4, 6, 8, 10)
DETECTABLE = 6


def read(path):
    with wave.open(path, "rb") as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
    return data.reshape(-1, 2).astype(np.float64)


def deviations(music, click, order):
    """The click's whitened energy over the music's prediction error, in deviations."""
    past = np.array([music[order - k - 1:len(music) - k - 1] for k in range(order)]).T
    coefficients, *_ = np.linalg.lstsq(past, music[order:], rcond=None)
    error = music[order:] - past @ coefficients
    deviation = max(1.4826 * np.median(np.abs(error)), 0.5)  # robust; half a step at least
    whitened = np.convolve(np.r_[click, np.zeros(order)], np.r_[1.0, -coefficients])
    return float(np.sqrt(np.sum(whitened[:len(click) + order] ** 2)) / deviation)


def main():
    clean, clicked = read(sys.argv[1]), read(sys.argv[2])
    order = int(sys.argv[4]) if len(sys.argv) > 4 else 32
    rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[3]) if line[0] != "#"]
    channels, energies, best, groups = [], [], [], {}
    total = float(np.sum((clicked - clean) ** 2))
    for first, frames, shape, *gains in rows:
        first, frames = int(first), int(frames)
        width = "<6" if frames < 6 else "6-15" if frames < 15 else "15-40" if frames < 40 else "40+"
        lo, hi = max(0, first - CONTEXT), min(len(clean), first + frames + CONTEXT)
        seen = []
        for c in range(2):
            if float(gains[c]) == 0.0:
                continue
            click = clicked[first:first + frames, c] - clean[first:first + frames, c]
            seen.append(deviations(clean[lo:hi, c], click, order))
            energies.append(float(np.sum(click ** 2)))
        channels += seen
        best.append(max(seen))
        groups.setdefault(f"{shape} {width}", []).append(max(seen))
    print(f"{len(best)} clicks, {len(channels)} click-channels, order {order}")
    channels, energies = np.array(channels), np.array(energies)
    for level in LEVELS:
        hidden = max(float(np.sum(energies[channels < level])), 1.0)
        print(f"  at {level} deviations or more: {100 * np.mean(np.array(best) >= level):.1f} % of"
              f" clicks, {100 * np.mean(channels >= level):.1f} % of click-channels; the whole"
              f" side's error at best {10 * np.log10(total / hidden):.1f} dB lower")
    for name in sorted(groups):
        shares = np.array(groups[name])
        print(f"  {name:12} {len(shares):4} clicks, {100 * np.mean(shares >= DETECTABLE):5.1f} %"
              f" at {DETECTABLE} or more")


if __name__ == "__main__":
    main()
