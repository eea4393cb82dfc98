#!/usr/bin/python3
"""Adds N clicks to a 16-bit stereo WAV side, for declicker benchmarks.

    inject-clicks.py IN.wav OUT.wav N [SEED]

Writes OUT.wav and OUT.tsv, one line per click: first frame, frames, shape, peak of the left
and of the right channel (signed, 0 where the click spares that channel). The clicks:
  - widths log-uniform from 0.05 to 2 ms (at least 2 samples), peaks log-uniform from -30 to
    -6 dBFS, either sign;
  - shapes in turn: "spike" (a sharp onset and a decaying tail, a little rough), "bump" (a
    half-sine), "pop" (asymmetric: a sharp swing one way, a slower smaller one back);
  - half in one channel, half in both with different amplitudes (the other 20-100 %);
  - spread evenly over the side (one in each equal slot, away from the slot's edges).
Samples are clipped to 16 bits, as a recording would be. Seeded: the same arguments give the
same clicks.
"""
import sys
import wave

import numpy as np

SHAPES = ("spike", "bump", "pop")


def shape(kind, frames, rng):
    n = np.arange(frames) + 0.5
    if kind == "spike":
        return np.exp(-3.0 * n / frames) * (1.0 + 0.3 * (rng.random(frames) - 0.5))
    if kind == "bump":
        return np.sin(np.pi * n / frames)
    # pop: most of the swing in the first third, a smaller return after it
    split = max(1, frames // 3)
    out = np.empty(frames)
    out[:split] = np.sin(np.pi * n[:split] / split)
    rest = frames - split
    if rest > 0:
        out[split:] = -0.45 * np.sin(np.pi * (n[split:] - split) / rest)
    return out


def main():
    src, dst, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    rng = np.random.default_rng(seed)
    with wave.open(src, "rb") as w:
        assert w.getnchannels() == 2 and w.getsampwidth() == 2, "16-bit stereo only"
        rate = w.getframerate()
        samples = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").reshape(-1, 2)
    out = samples.astype(np.float64)
    frames = len(out)
    longest = int(np.ceil(0.002 * rate))
    slot = frames // max(1, count)
    lines = ["# first\tframes\tshape\tleft\tright"]
    for i in range(count):
        width = max(2, int(round(np.exp(rng.uniform(np.log(0.00005), np.log(0.002))) * rate)))
        peak = 32768.0 * 10.0 ** (rng.uniform(-30.0, -6.0) / 20.0) * rng.choice([-1.0, 1.0])
        first = i * slot + longest + int(rng.integers(0, max(1, slot - 3 * longest)))
        kind = SHAPES[i % len(SHAPES)]
        form = shape(kind, width, rng)
        gains = [peak, peak]
        if rng.random() < 0.5:
            gains[int(rng.integers(0, 2))] = 0.0
        else:
            gains[int(rng.integers(0, 2))] *= rng.uniform(0.2, 1.0)
        for c in range(2):
            out[first:first + width, c] += gains[c] * form
        lines.append(f"{first}\t{width}\t{kind}\t{gains[0]:.0f}\t{gains[1]:.0f}")
    data = np.clip(np.round(out), -32768, 32767).astype("<i2")
    with wave.open(dst, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(data.tobytes())
    stem = dst[:-4] if dst.lower().endswith(".wav") else dst
    with open(stem + ".tsv", "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
