#!/usr/bin/python3
"""Lays pieces of music out as a gramophone side (used by scripts/real-sides.sh).

    real_sides.py OUT PIECE.wav...  [--seed N] [--noise DBFS] [--peak DBFS] [--crackle N]
                                    [--rumble DBFS]

Writes OUT.wav (the side with surface noise and crackle), OUT-music.wav (the same music
without them, frame for frame), OUT.txt (per piece: first frame, end frame, fade-in and
fade-out frames, name) and OUT-crackle.tsv (where each crackle tick is: first frame, frames). Pieces are 44100 Hz 16-bit stereo WAV files; each is brought to the
same peak, gets fades at its ends (excerpts are cut mid-music; a side's pieces fade in and out
as records do), and is followed by a gap of 2-4 s. --crackle sets the ticks a second (a 78
has more than an LP), --rumble adds rumble at 15 Hz of that RMS under everything. Seeded: the
same arguments give the same side.
"""
import argparse
import os
import wave

import numpy as np

RATE = 44100


def read_wav(path):
    with wave.open(path, "rb") as w:
        assert w.getnchannels() == 2 and w.getsampwidth() == 2 and w.getframerate() == RATE, path
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
    return data.reshape(-1, 2).astype(np.float64)


def write_wav(path, samples):
    data = np.clip(np.round(samples), -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())


def fade(frames, fade_in, fade_out):
    """A gain curve: raised-cosine fade-in, exponential-looking fade-out to about -50 dB."""
    gain = np.ones(frames)
    if fade_in > 0:
        t = np.arange(fade_in) / fade_in
        gain[:fade_in] = 0.5 - 0.5 * np.cos(np.pi * t)
    if fade_out > 0:
        t = np.arange(fade_out) / fade_out
        gain[frames - fade_out:] *= 10.0 ** (-2.5 * t) * (1.0 - t)  # to -50 dB, then to zero
    return gain


def surface_noise(frames, rms_dbfs, rng, ticks_per_second=25.0):
    """Hiss (white, gently low-passed, half shared by the channels), a little rumble and
    crackle: sparse ticks of 1-3 samples near the hiss's own level, different in each channel."""
    white = rng.standard_normal((frames, 3))
    hiss = np.empty((frames, 2))
    for c in range(2):
        x = 0.75 * white[:, c] + 0.66 * white[:, 2]
        hiss[:, c] = np.convolve(x, [0.25, 0.5, 0.25], mode="same")  # gently low-passed
    rumble_phase = rng.uniform(0, 2 * np.pi)
    t = np.arange(frames) / RATE
    rumble = np.sin(2 * np.pi * 0.55 * t + rumble_phase) * 0.4 + np.sin(2 * np.pi * 17 * t) * 0.15
    noise = hiss + rumble[:, None]
    noise *= 10.0 ** (rms_dbfs / 20.0) * 32768.0 / np.sqrt(np.mean(noise ** 2))
    ticks = rng.poisson(ticks_per_second * frames / RATE)
    at = rng.integers(0, frames - 4, ticks)
    rms = 10.0 ** (rms_dbfs / 20.0) * 32768.0
    crackle = []
    for n, peak in zip(at, rms * rng.uniform(1.0, 3.5, ticks) * rng.choice([-1, 1], ticks)):
        width = int(rng.integers(1, 4))
        shape = np.exp(-np.arange(width))
        noise[n:n + width, 0] += peak * shape
        noise[n:n + width, 1] += peak * rng.uniform(0.2, 1.0) * shape
        crackle.append((int(n), width))
    return noise, sorted(crackle)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("pieces", nargs="+")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--noise", type=float, default=-54.0, help="hiss RMS, dBFS")
    parser.add_argument("--peak", type=float, default=-3.0, help="each piece's peak, dBFS")
    parser.add_argument("--crackle", type=float, default=25.0, help="ticks a second")
    parser.add_argument("--rumble", type=float, default=None, help="15 Hz rumble RMS, dBFS")
    args = parser.parse_args()
    rng = np.random.default_rng(args.seed)

    parts, lines = [np.zeros((RATE, 2))], []
    at = RATE  # a second of lead-in
    for path in args.pieces:
        music = read_wav(path)
        frames = len(music)
        fade_in = int(rng.uniform(0.3, 3.0) * RATE)
        fade_out = int(rng.uniform(3.0, 6.0) * RATE)
        music *= fade(frames, fade_in, fade_out)[:, None]
        music *= 10.0 ** (args.peak / 20.0) * 32767.0 / max(1.0, np.max(np.abs(music)))
        parts.append(music)
        name = os.path.splitext(os.path.basename(path))[0]
        lines.append(f"{at}\t{at + frames}\t{fade_in}\t{fade_out}\t{name}")
        gap = int(rng.uniform(2.0, 4.0) * RATE)
        parts.append(np.zeros((gap, 2)))
        at += frames + gap
    music = np.concatenate(parts)
    write_wav(args.out + "-music.wav", music)
    noise, crackle = surface_noise(len(music), args.noise, rng, args.crackle)
    if args.rumble is not None:
        t = np.arange(len(music)) / RATE
        rumble = np.sqrt(2.0) * 10.0 ** (args.rumble / 20.0) * 32768.0 * np.sin(2 * np.pi * 15 * t)
        noise += rumble[:, None]
    write_wav(args.out + ".wav", music + noise)
    with open(args.out + "-crackle.tsv", "w") as f:
        f.write("# first\tframes\n" + "".join(f"{n}\t{w}\n" for n, w in crackle))
    with open(args.out + ".txt", "w") as f:
        f.write("# first\tend\tfade_in\tfade_out\tname (frames at 44100 Hz)\n")
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
