#!/usr/bin/env python3
"""grooval-split keeps a hi-res side: tracks of sides made with sox, read back by sox, flac and
metaflac and by a RIFF walk of our own (Python's wave module reads no WAVE_FORMAT_EXTENSIBLE).

- A 24-bit 96 kHz side and the same side as 32-bit floats split into WAV and FLAC tracks that
  decode to exactly the input's frames, at block starts of 12800 frames; the cuts fall where
  they fall in the same side at 44.1 kHz/16 bits, within a block. Neither a gap of 1.5 s nor a
  soft passage of 2.5 s above the silence level ends a track at any rate (with blocks of 5880
  frames at 96 kHz, or their levels unscaled, each would).
- Floats and 32-bit integers finer than 24 bits: FLAC refused, naming --bits, nothing written; --bits 24 and
  --bits 16 make copies with dither, said in --stats.
- Mono 24-bit stays mono; four channels stay four, with their speakers, cut where their front
  pair is cut.
- A 48 kHz side's blocks are 6400 frames, so in live mode a track ends 15 blocks (2.0 s) after
  its sound and a 1.9 s silence does not end one.

Usage: hires_check.py GROOVAL_SPLIT_EXE BENCH_DIR
"""
import os
import re
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "scripts", "wine-run.sh")
CUE_RATE = 75
failures = []
checks = 0


def check(ok, what):
    global checks
    checks += 1
    if not ok:
        failures.append(what)
        print("FAIL: " + what)
    return ok


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def sox(*arguments):
    subprocess.run(["sox", *arguments], check=True)


def make_side(path, rate, passages, *output):
    """Passages of ("song" or "soft", seconds, hz) or ("gap", seconds), 24-bit stereo at `rate`, with a
    faint noise floor throughout, so no slice of the side repeats; `output` options for the
    whole (channels, bits)."""
    folder = os.path.dirname(path)
    parts = []
    for n, (kind, seconds, *hz) in enumerate(passages):
        part, noise, tone = (os.path.join(folder, f"{name}{n}.wav") for name in ("part", "noise", "tone"))
        synth = ["-n", "-r", str(rate), "-c", "2", "-b", "24"]
        sox(*synth, noise, "synth", str(seconds), "whitenoise", "vol", "0.0003")
        if kind != "gap":
            # A soft passage measures a level of 6 in any block: sound at the default 4.
            sox(*synth, tone, "synth", str(seconds), "sine", str(hz[0]), "sine",
                str(hz[0] * 3 // 2), "vol", "0.4" if kind == "song" else "0.0107")
            sox("-m", "-v", "1", tone, "-v", "1", noise, part)
            os.remove(tone)
            os.remove(noise)
        else:
            os.rename(noise, part)
        parts.append(part)
    sox(*parts, *output, path)
    for part in parts:
        os.remove(part)


def riff(path):
    """(format chunk, data bytes) of a WAV file."""
    with open(path, "rb") as f:
        data = f.read()
    chunks, at = {}, 12
    while at + 8 <= len(data):
        name, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        chunks.setdefault(name, data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    return chunks[b"fmt "], chunks[b"data"]


def run(tool, bench, side, folder, *options):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    result = subprocess.run([WINE_RUN, bench, tool, "-q", "--cue", "--stats", "-o", windows(folder),
                             *options, windows(side)], capture_output=True, timeout=600)
    return result.returncode, result.stderr.decode("utf-8", "replace").replace("\r", "")


def cue(folder):
    """[(file, start, end)] in 75ths of a second."""
    sheets = [n for n in os.listdir(folder) if n.endswith(".cue")]
    if not check(len(sheets) == 1, f"{folder}: cue sheets {sheets}"):
        return []
    text = open(os.path.join(folder, sheets[0]), encoding="latin-1").read()
    def times(pattern):
        return [(int(m) * 60 + int(s)) * CUE_RATE + int(f)
                for m, s, f in re.findall(pattern + r" (\d+):(\d\d):(\d\d)", text)]
    return list(zip(re.findall(r'TRACKFILE "([^"]*)"', text), times("INDEX 01"), times("REM END")))


def place(track, side, frame_bytes, hint, block):
    """The frame of `side` where `track` starts: a block start near `hint` whose bytes are the
    track's; None when there is none."""
    first = max(0, hint // block - 2)
    for start in range(first * block, first * block + 5 * block, block):
        at = start * frame_bytes
        if side[at:at + len(track)] == track:
            return start
    return None


def flac_raw(path):
    return subprocess.run(["flac", "-d", "-s", "-c", "--force-raw-format", "--endian=little",
                           "--sign=signed", path], capture_output=True, check=True).stdout


def metaflac(path):
    return subprocess.run(["metaflac", "--show-bps", "--show-channels", "--show-sample-rate", path],
                          capture_output=True, text=True, check=True).stdout.split()


def check_tracks(name, folder, side_data, frame_bytes, rate, block, flac_bps=None):
    """Each track is the side's slice from a block start, as the cue sheet places it."""
    listed = cue(folder)
    for file, start, end in listed:
        path = os.path.join(folder, file)
        if file.endswith(".flac"):
            check(metaflac(path) == [str(flac_bps), str(frame_bytes // (flac_bps // 8)), str(rate)],
                  f"{name} {file}: metaflac says {metaflac(path)}")
            data = flac_raw(path)
        else:
            data = riff(path)[1]
        frame = place(data, side_data, frame_bytes, start * rate // CUE_RATE, block)
        if not check(frame is not None, f"{name} {file}: not a slice of the input at a block start"):
            continue
        check(frame * CUE_RATE // rate == start and
              (frame + len(data) // frame_bytes) * CUE_RATE // rate == end,
              f"{name} {file}: frames {frame}+{len(data) // frame_bytes}, cue {start}-{end}")
    return listed


def case_hires(tool, bench, work):
    side = os.path.join(work, "side96.wav")
    passages = [("gap", 1), ("song", 4, 330), ("gap", 3), ("song", 3, 440), ("gap", 1.5),
                ("song", 3, 550), ("soft", 2.5, 500), ("song", 2, 550), ("gap", 2.5),
                ("song", 3.02, 660), ("gap", 2)]
    make_side(side, 96000, passages)
    fmt, data = riff(side)
    check(struct.unpack("<HH", fmt[:4]) == (0xFFFE, 2), "sox made no extensible 24-bit side")
    floats = os.path.join(work, "float96.wav")
    sox(side, "-e", "floating-point", "-b", "32", floats)  # 24-bit steps: FLAC takes them
    side44 = os.path.join(work, "side44.wav")
    sox(side, "-r", "44100", "-b", "16", side44)
    code, err = run(tool, bench, side44, os.path.join(work, "cd"))
    reference = cue(os.path.join(work, "cd"))
    check(code == 0 and len(reference) == 3, f"44.1 kHz: exit {code}, {reference}: {err}")

    for name, path, fmt_name, expected_fmt in [
            ("24-bit wav", side, "pcm", (0xFFFE, 2, 96000, 576000, 6, 24)),
            ("24-bit flac", side, "flac", None), ("float wav", floats, "pcm", (3, 2, 96000, 768000, 8, 32)),
            ("float flac", floats, "flac", None)]:
        folder = os.path.join(work, name.replace(" ", "-"))
        code, err = run(tool, bench, path, folder, "-f", fmt_name)
        check(code == 0, f"{name}: exit {code}: {err}")
        check("Hz: the input's own " in err, f"{name}: --stats says {err}")
        input_data = riff(path)[1]
        frame_bytes = 8 if name.startswith("float") and fmt_name == "pcm" else 6
        if fmt_name == "flac":
            input_data = data  # FLAC holds the 24-bit integers the floats are made of
        else:
            for file in os.listdir(folder):
                if file.endswith(".wav"):
                    got = struct.unpack("<HHIIHH", riff(os.path.join(folder, file))[0][:16])
                    check(got == expected_fmt, f"{name} {file}: format {got}")
        listed = check_tracks(name, folder, input_data, frame_bytes, 96000, 12800, 24)
        check(len(listed) == len(reference) and all(
                  abs(a[1] - b[1]) <= 12 and abs(a[2] - b[2]) <= 12  # a block: 10 cue frames
                  for a, b in zip(listed, reference)),
              f"{name}: cuts {listed} are not those at 44.1 kHz {reference}")
    # sox reads the extensible 24-bit track as it is.
    first = os.path.join(work, "24-bit-wav", reference[0][0]) if reference else ""
    soxi = [subprocess.run(["soxi", option, first], capture_output=True, text=True).stdout.strip()
            for option in ("-b", "-c", "-r")]
    check(soxi == ["24", "2", "96000"], f"soxi: {soxi}")

    # Floats and 32-bit integers of finer steps: FLAC cannot hold them; --bits makes a copy.
    fine = os.path.join(work, "fine.wav")
    sox(side, "-e", "floating-point", "-b", "32", fine, "vol", "0.9")
    folder = os.path.join(work, "fine-flac")
    fine32 = os.path.join(work, "fine32.wav")
    sox(side, "-e", "signed-integer", "-b", "32", fine32, "vol", "0.9")
    for path in (fine, fine32):
        code, err = run(tool, bench, path, folder, "-f", "flac")
        check(code == 3 and "--bits 24" in err and not os.listdir(folder),
              f"finer {path} to FLAC: exit {code}, {os.listdir(folder)}: {err}")
    for bits in (24, 16):
        code, err = run(tool, bench, fine, folder, "-f", "flac", "--bits", str(bits))
        check(code == 0 and f"PCM {bits}-bit, 2 channels from the input's float 32-bit" in err and
              "TPDF dither" in err, f"--bits {bits}: exit {code}: {err}")
        flacs = sorted(n for n in os.listdir(folder) if n.endswith(".flac"))
        check(len(flacs) == 3 and metaflac(os.path.join(folder, flacs[0]))[0] == str(bits),
              f"--bits {bits}: {flacs}")


def case_channels(tool, bench, work):
    """Mono stays mono; four channels stay four, with their speakers, and are cut where their
    front pair would be."""
    stereo = os.path.join(work, "front.wav")
    make_side(stereo, 96000, [("gap", 1), ("song", 3, 440), ("gap", 3), ("song", 2, 660)])
    mono, quad = os.path.join(work, "mono.wav"), os.path.join(work, "quad.wav")
    sox(stereo, "-c", "1", mono)
    sox(stereo, quad, "remix", "1", "2", "1v0.5", "2v0.5")
    code, err = run(tool, bench, stereo, os.path.join(work, "front"))
    front = cue(os.path.join(work, "front"))
    check(code == 0 and len(front) == 2, f"front pair: exit {code}, {front}: {err}")
    for side, channels, mask in [(mono, 1, 4), (quad, 4, 0x33)]:
        data = riff(side)[1]
        name = os.path.basename(side)[:-4]
        for fmt_name in ("pcm", "flac"):
            folder = os.path.join(work, name + "-" + fmt_name)
            code, err = run(tool, bench, side, folder, "-f", fmt_name)
            own = f"the input's own PCM 24-bit, {channels} channel"
            check(code == 0 and own in err, f"{name} {fmt_name}: exit {code}: {err}")
            listed = check_tracks(f"{name} {fmt_name}", folder, data, 3 * channels, 96000, 12800, 24)
            check([(s, e) for _, s, e in listed] == [(s, e) for _, s, e in front],
                  f"{name} {fmt_name}: cuts {listed}, not the front pair's {front}")
            for file, _, _ in listed:
                if file.endswith(".wav"):
                    fmt = riff(os.path.join(folder, file))[0]
                    expected = (0xFFFE, channels, 96000, 288000 * channels, 3 * channels, 24)
                    check(struct.unpack("<HHIIHH", fmt[:16]) == expected and
                          struct.unpack("<HI", fmt[18:24]) == (24, mask), f"{name} {file}: {fmt.hex()}")


def case_48k(tool, bench, work):
    side = os.path.join(work, "side48.wav")
    make_side(side, 48000, [("gap", 1), ("song", 3, 440), ("gap", 1.9), ("song", 3, 550),
                            ("gap", 2.6), ("song", 3, 660), ("gap", 3)], "-b", "16")
    data = riff(side)[1]
    folder = os.path.join(work, "48k")
    code, err = run(tool, bench, side, folder, "--live", "--gap", "14")
    listed = check_tracks("48 kHz", folder, data, 4, 48000, 6400)
    check(code == 0 and len(listed) == 2, f"48 kHz: exit {code}, {listed}: {err}")
    # Live mode keeps the 14 + 1 silent blocks that end a track: 2.0 s after the block where
    # its sound ends (the songs that end tracks end at 8.9 s and 14.5 s of the side).
    for (file, start, end), song_end in zip(listed, (8.9, 14.5)):
        sound_end = -(-round(song_end * 48000) // 6400) * 6400
        check(end == (sound_end + 15 * 6400) * CUE_RATE // 48000,
              f"48 kHz {file}: ends at {end}/75 s, not 15 blocks of 6400 after {sound_end}")


def main():
    tool, bench = sys.argv[1:3]
    work = os.path.join(bench, "scratch", "hires-check")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    case_hires(tool, bench, work)
    case_channels(tool, bench, work)
    case_48k(tool, bench, work)
    if failures:
        print(f"{len(failures)} of {checks} checks failed; the files are in {work}")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print(f"all {checks} checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
