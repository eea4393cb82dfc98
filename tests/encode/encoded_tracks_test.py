#!/usr/bin/python3
"""grooval-split's FLAC and MP3 tracks, read back with Debian's flac, metaflac, mpg123 and
Python's mutagen: each FLAC track decodes to the bytes of the WAV track of the same split, each
MP3 track to its length (within a frame and the encoder delay its LAME header declares) and
level; the tags, the seek table, short tracks and 2 GB-class tracks.

  encoded_tracks_test.py BENCH_DIR GROOVAL_SPLIT_EXE ENCODE_TESTS_EXE CASE

Cases: formats (a side of songs in every format), short (tracks of a few frames and blocks,
and an empty side), stage (the files tests/encode/encoder_stage_test.cpp leaves, wide layouts
among them), 2gb-flac and
2gb-mp3 (one track of 537 million frames: 2.1 GB as 16-bit stereo). The long sides are mu-law
WAV files that are sparse: their loud part is a hole, whose zero bytes decode to -32124, so
nothing of them is stored, and the tool's flow control keeps its memory flat.
"""
import array
import glob
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import wave

from mutagen.flac import FLAC
from mutagen.mp3 import MP3, BitrateMode

RATE = 44100
BLOCK = 5880                 # frames in one engine block
MP3_FRAME = 1152             # samples in one MPEG-1 Layer III frame
MULAW_SILENCE = b"\xff"      # decodes to 0
MULAW_LOUD = -32124          # what a zero byte of mu-law decodes to
LONG_FRAMES = 537_000_000    # 2.148 GB as 16-bit stereo: past 2^31 bytes
FORMATS = ["flac", "flac:0", "flac:8", "mp3", "mp3:128", "mp3:v0"]

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


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def split(inputs, folder, fmt, *options):
    """Runs the tool; returns its completed process."""
    return subprocess.run(["wine", TOOL, "-q", "--cue", "-f", fmt, "-o", windows(folder),
                           *options, windows(inputs)], capture_output=True, text=True,
                          errors="replace")


def tracks(folder, extension):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, "*." + extension)))


def wav_data(path):
    with wave.open(path) as w:
        return w.readframes(w.getnframes())


def flac_raw(path):
    return subprocess.run(["flac", "-d", "-s", "-c", "--force-raw-format", "--endian=little",
                           "--sign=signed", path], capture_output=True, check=True).stdout


def mp3_raw(path):
    return subprocess.run(["mpg123", "-q", "-s", path], capture_output=True, check=True).stdout


def metaflac(path, *options):
    return subprocess.run(["metaflac", *options, path], capture_output=True, text=True,
                          check=True).stdout


def lame_delay(path):
    """The encoder delay of the LAME header in the first frame after the ID3 tag."""
    with open(path, "rb") as f:
        head = f.read(16384)
    start = 0
    if head[:3] == b"ID3":
        size = head[6] << 21 | head[7] << 14 | head[8] << 7 | head[9]
        start = 10 + size
    lame = head.find(b"LAME", start, start + 2048)
    check(lame > 0, path + ": no LAME header after the ID3 tag")
    return (head[lame + 21] << 4) | (head[lame + 22] >> 4) if lame > 0 else 0


def rms(raw):
    samples = array.array("h")
    samples.frombytes(raw[: len(raw) - len(raw) % 2])
    return math.sqrt(sum(s * s for s in samples) / max(len(samples), 1))


def check_mp3(path, frames, expected_raw=None, mode=BitrateMode.VBR):
    """Length within a frame and the declared delay; level within 1 dB (at 128 kbit/s LAME
    loses 0.45 dB of these tones, as the lame tool does); the header."""
    name = os.path.basename(path)
    decoded = mp3_raw(path)
    slack = MP3_FRAME + lame_delay(path)
    check(abs(len(decoded) // 4 - frames) <= slack,
          f"{name}: decodes to {len(decoded) // 4} frames, not {frames} (+-{slack})")
    info = MP3(path)
    check(abs(info.info.length - frames / RATE) <= MP3_FRAME / RATE,
          f"{name}: its header gives {info.info.length:.3f} s, not {frames / RATE:.3f} s")
    check(info.info.bitrate_mode == mode, f"{name}: {info.info.bitrate_mode}, not {mode}")
    if expected_raw is not None:
        gain = 20 * math.log10(rms(decoded) / rms(expected_raw))
        check(abs(gain) <= 1.0, f"{name}: level {gain:+.2f} dB from the WAV track's")


def check_flac(path, expected_raw=None, frames=None):
    name = os.path.basename(path)
    decoded = flac_raw(path)  # flac fails on a wrong MD5
    if expected_raw is not None:
        check(decoded == expected_raw, f"{name}: decodes to other bytes than the WAV track")
        frames = len(expected_raw) // 4
    total = int(metaflac(path, "--show-total-samples"))
    check(total == frames and len(decoded) == 4 * frames,
          f"{name}: {total} samples in STREAMINFO, {len(decoded) // 4} decoded, not {frames}")
    # A point every 10 s from sample 0 while the track lasts, then placeholders.
    points = FLAC(path).seektable.seekpoints
    real = [p for p in points if p.first_sample != 0xFFFFFFFFFFFFFFFF]
    check(len(real) == (frames - 1) // (10 * RATE) + 1 if frames else not real,
          f"{name}: {len(real)} seek points for {frames} samples")
    check(all(b.first_sample > a.first_sample and b.byte_offset > a.byte_offset
              for a, b in zip(real, real[1:])) and points[: len(real)] == real,
          f"{name}: seek points out of order")


ID3_FRAMES = {"title": "TIT2", "artist": "TPE1", "albumartist": "TPE2", "album": "TALB",
              "date": "TDRC", "tracknumber": "TRCK"}


def check_tags(path, expected):
    """The tags as metaflac (FLAC) and mutagen read them: FLAC's Vorbis comments, MP3's
    ID3v2.4 tag, which gives the track total in TRCK ("3/12")."""
    name = os.path.basename(path)
    if not path.endswith(".flac") and "tracktotal" in expected:
        expected = dict(expected)
        expected["tracknumber"] += "/" + expected.pop("tracktotal")
    if path.endswith(".flac"):
        lines = metaflac(path, "--export-tags-to=-").splitlines()
        read = {key.lower(): value for key, value in (line.split("=", 1) for line in lines)}
        check(read == expected, f"{name}: metaflac reads {read}")
        tags = {key.lower(): value for key, value in FLAC(path).tags}
    else:
        id3 = MP3(path).tags
        check(id3 is not None and id3.version == (2, 4, 0), f"{name}: no ID3v2.4 tag")
        tags = {key: str(id3[frame].text[0]) for key, frame in ID3_FRAMES.items()
                if id3 is not None and frame in id3}
    check(tags == expected, f"{name}: mutagen reads {tags}")


def sox_side(path):
    """Songs between gaps: a lead, a 6 s song, a 0.5 s blip (too short), a 5 s song, and a
    last song that the side's end cuts inside a block."""
    folder = os.path.dirname(path)
    parts = []

    def part(name, *synth):
        file = os.path.join(folder, name + ".wav")
        subprocess.run(["sox", "-n", "-r", str(RATE), "-c", "2", "-b", "16", file, *synth],
                       check=True)
        parts.append(file)

    part("lead", "trim", "0", "1")
    part("song1", "synth", "6", "sine", "440", "sine", "660", "tremolo", "3", "40", "vol", "0.5")
    part("gap1", "trim", "0", "3")
    part("blip", "synth", "0.5", "sine", "1000", "vol", "0.5")
    part("gap2", "trim", "0", "3")
    part("song2", "synth", "5", "pluck", "220", "pluck", "330", "vol", "0.8")
    part("gap3", "trim", "0", "3")
    part("song3", "synth", "4.05", "sine", "300-900", "sine", "500", "vol", "0.3")
    subprocess.run(["sox", *parts, path], check=True)


def mulaw_side(path, regions):
    """A mu-law stereo WAV of (frames, loud) regions; loud ones are left as holes."""
    frames = sum(n for n, _ in regions)
    fmt = struct.pack("<HHIIHHH", 7, 2, RATE, 2 * RATE, 2, 8, 0)
    data = 2 * frames
    header = (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 12 + 8 + data + data % 2) +
              b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt +
              b"fact" + struct.pack("<II", 4, frames) + b"data" + struct.pack("<I", data))
    with open(path, "wb") as f:
        f.write(header)
        for n, loud in regions:
            if loud:
                f.seek(2 * n, os.SEEK_CUR)
            else:
                f.write(MULAW_SILENCE * 2 * n)
        f.truncate(len(header) + data + data % 2)


def pcm(frames, value):
    return struct.pack("<hh", value, value) * frames


def case_formats(work):
    side = os.path.join(fresh(os.path.join(work, "side")), "side.wav")
    sox_side(side)
    runs = {}
    for fmt in ["pcm"] + FORMATS:
        folder = fresh(os.path.join(work, fmt.replace(":", "-")))
        extension = {"pcm": "wav"}.get(fmt, fmt.split(":")[0])
        open(os.path.join(folder, "tmp0002." + extension), "wb").close()  # a number taken
        run = split(side, folder, fmt)
        check(run.returncode == 0, f"{fmt}: exit {run.returncode}: {run.stderr}")
        names = [n for n in tracks(folder, extension) if n != "tmp0002." + extension]
        with open(os.path.join(folder, "tmp0001-0004.cue"), "rb") as cue:
            sheet = re.sub(rb'(TRACKFILE "[^"]*)\.\w+"', rb'\1"', cue.read())  # no extension
            runs[fmt] = (folder, names, sheet)
    wav_folder, wav_names, wav_cue = runs["pcm"]
    check(wav_names == ["tmp0001.wav", "tmp0003.wav", "tmp0004.wav"], f"WAV tracks {wav_names}")
    for fmt in FORMATS:
        folder, names, cue = runs[fmt]
        check([n.rsplit(".", 1)[0] for n in names] == [n[:-4] for n in wav_names],
              f"{fmt}: tracks {names}")
        check(cue == wav_cue, f"{fmt}: its cue sheet differs from the WAV run's")
        for name, wav_name in zip(names, wav_names):
            path, expected = os.path.join(folder, name), wav_data(os.path.join(wav_folder, wav_name))
            check_tags(path, {"tracknumber": str(int(name[3:7]))})  # the file's number
            if fmt.startswith("flac"):
                check_flac(path, expected)
            else:
                mode = BitrateMode.CBR if fmt == "mp3:128" else BitrateMode.VBR
                check_mp3(path, len(expected) // 4, expected, mode)

    # The sleeve: files named by the titles, tagged with them and the sleeve's texts (given in
    # the program's code page, written in UTF-8), numbered as the sleeve counts the tracks, of
    # as many as it has titles, --artist the album's artist beside a line's own; no INFO chunk
    # after FLAC or MP3 data.
    titles = os.path.join(work, "side", "titles.txt")
    with open(titles, "w", encoding="utf-8") as f:
        f.write("\u00c9t\u00e9 \u00e0 Paris\nDjango Reinhardt - Minor Swing\nNuages\n")
    album = "Djangologie \u00e0 Paris"
    sleeve = ["--titles", windows(titles), "--artist", "Quintette du Hot Club", "--album", album,
              "--year", "1937"]
    performers = [("\u00c9t\u00e9 \u00e0 Paris", "Quintette du Hot Club"),
                  ("Minor Swing", "Django Reinhardt"), ("Nuages", "Quintette du Hot Club")]
    named = {}
    for fmt, extension in [("pcm", "wav"), ("flac", "flac"), ("mp3", "mp3")]:
        folder = fresh(os.path.join(work, "sleeve-" + fmt))
        run = split(side, folder, fmt, *sleeve)
        check(run.returncode == 0, f"sleeve, {fmt}: exit {run.returncode}: {run.stderr}")
        named[fmt] = (folder, tracks(folder, extension))
    wav_folder, wav_names = named["pcm"]
    for fmt in ["flac", "mp3"]:
        folder, names = named[fmt]
        check([n.rsplit(".", 1)[0] for n in names] == [n[:-4] for n in wav_names] and
              len(names) == len(performers), f"sleeve, {fmt}: tracks {names}, WAV {wav_names}")
        for number, (name, wav_name, (title, artist)) in enumerate(
                zip(names, wav_names, performers), 1):
            path, expected = os.path.join(folder, name), wav_data(os.path.join(wav_folder, wav_name))
            check_tags(path, {"title": title, "artist": artist,
                              "albumartist": "Quintette du Hot Club", "album": album,
                              "date": "1937", "tracknumber": str(number), "tracktotal": "3"})
            if fmt == "flac":
                check_flac(path, expected)
            else:
                check_mp3(path, len(expected) // 4, expected)


def case_short(work):
    # A 100-frame burst (4 blocks with the held block and 2 after it: deleted at -m 5), a
    # track of 5 blocks (kept, number 1 again), a last one of a frame the side's end cuts.
    side = os.path.join(fresh(os.path.join(work, "short")), "short.wav")
    mulaw_side(side, [(20 * BLOCK, False), (100, True), (20 * BLOCK - 100, False),
                      (2 * BLOCK, True), (20 * BLOCK, False), (1, True), (500, False)])
    expected = pcm(BLOCK, 0) + pcm(2 * BLOCK, MULAW_LOUD) + pcm(2 * BLOCK, 0)
    for fmt in ["pcm", "flac", "mp3"]:
        folder = fresh(os.path.join(work, "short-" + fmt))
        run = split(side, folder, fmt, "-m", "5")
        check(run.returncode == 0, f"{fmt}: exit {run.returncode}: {run.stderr}")
        extension = {"pcm": "wav"}.get(fmt, fmt)
        track = "tmp0001." + extension
        check(sorted(os.listdir(folder)) == ["tmp0001-0001.cue", track],
              f"short side, {fmt}: {sorted(os.listdir(folder))}")
        path = os.path.join(folder, track)
        if fmt == "pcm":
            check(wav_data(path) == expected, "short side: the WAV track is not the side's")
        else:
            check_tags(path, {"tracknumber": "1"})
            if fmt == "flac":
                check_flac(path, expected)
            else:
                check_mp3(path, len(expected) // 4)
    # An empty side: nothing to write, not even a cue sheet, and the exit says no track came.
    empty = os.path.join(work, "short", "empty.wav")
    mulaw_side(empty, [])
    for fmt in ["flac", "mp3"]:
        folder = fresh(os.path.join(work, "empty-" + fmt))
        run = split(empty, folder, fmt)
        check(run.returncode == 5 and not os.listdir(folder),
              f"empty side, {fmt}: exit {run.returncode}, {os.listdir(folder)}")


def case_stage(work, bench):
    run = subprocess.run(["wine", TESTS, "--gtest_filter=EncoderStageTest.*"],
                         capture_output=True, text=True, errors="replace")
    if not check(run.returncode == 0, "EncoderStageTest failed:\n" + run.stdout[-3000:]):
        return
    scratch = os.path.join(bench, "scratch")
    for extension in ["flac", "mp3"]:
        # Kept short tracks decode to their length: 0, 1, 1151, 1153 and 5880 frames.
        kept = glob.glob(os.path.join(scratch, "encoder_stage_short", "*." + extension))
        check(len(kept) == 5, f"short stage tracks: {kept}")
        for path in kept:
            frames = int(os.path.basename(path).split("-")[0])
            if extension == "flac":
                check_flac(path, frames=frames)
            else:
                check_mp3(path, frames)
        # What a failed write left plays, in whole FLAC frames; the next track is whole.
        cut = os.path.join(scratch, "encoder_stage_cut", "cut." + extension)
        next_track = os.path.join(scratch, "encoder_stage_cut", "next." + extension)
        if extension == "flac":
            frames = len(flac_raw(cut)) // 4
            check(frames > 0 and frames % 4096 == 0, f"cut.flac: {frames} frames decoded")
            check_flac(next_track, frames=40 * BLOCK)
        else:
            check(len(mp3_raw(cut)) > 0, "cut.mp3 does not decode")
            check_mp3(next_track, 40 * BLOCK)
        # Every tag; the track was finished by the stage's deletion.
        tagged = os.path.join(scratch, "encoder_stage_tags", "tagged." + extension)
        expected = {"title": "\u00c9t\u00e9 \u00e0 Paris", "artist": "Quintette du Hot Club",
                    "albumartist": "Django Reinhardt", "album": "Swing 1937", "date": "1937",
                    "tracknumber": "7", "tracktotal": "12"}
        check_tags(tagged, expected)
        if extension == "flac":
            check_flac(tagged, frames=3 * BLOCK)
        else:
            check_mp3(tagged, 3 * BLOCK)
    check_wide(scratch)


def check_wide(scratch):
    """EncoderStageTest.WideLayoutsAreEncodedAtTheirResolution: a second of a tone of 24-bit
    steps at 96 kHz in each layout; FLAC at the layout's depth, MP3 with its channels."""
    folder = os.path.join(scratch, "encoder_stage_wide")
    for name, channels, bps in [("mono24", 1, 24), ("float", 2, 24), ("pcm8", 2, 8)]:
        path = os.path.join(folder, name + ".flac")
        shown = metaflac(path, "--show-bps", "--show-channels", "--show-total-samples").split()
        check(shown == [str(bps), str(channels), "96000"], f"{name}.flac: metaflac says {shown}")
        decoded = flac_raw(path)
        width = bps // 8
        worst = 0
        for i in range(0, len(decoded), width):
            frame, channel = divmod(i // width, channels)
            value = 0.5 * math.sin(0.02 * frame + channel) * 8388608
            step = math.floor(value + 0.5) if value >= 0 else -math.floor(-value + 0.5)
            got = int.from_bytes(decoded[i:i + width], "little", signed=True)
            worst = max(worst, abs(got - (step >> (24 - bps))))  # libm's last bit may differ
        check(len(decoded) == 96000 * channels * width and worst <= 1,
              f"{name}.flac: {len(decoded)} bytes, off by up to {worst}")
        info = MP3(os.path.join(folder, name + ".mp3")).info
        check(info.channels == channels and abs(info.length - 1.0) <= 2 * MP3_FRAME / 48000,
              f"{name}.mp3: {info.channels} channels, {info.length:.3f} s")


def case_long(work, extension):
    side = os.path.join(fresh(os.path.join(work, "long")), "long.wav")
    mulaw_side(side, [(3 * BLOCK, False), (LONG_FRAMES, True)])
    check(os.stat(side).st_blocks * 512 < 1 << 20, "the long side takes room on disk")
    folder = fresh(os.path.join(work, "long-" + extension))
    run = split(side, folder, extension, "--stats")
    check(run.returncode == 0, f"long side: exit {run.returncode}: {run.stderr}")
    peak = re.search(r"peak working set ([0-9.]+) MB", run.stderr)
    check(peak and float(peak.group(1)) < 64, "long side: memory " + run.stderr)
    path = os.path.join(folder, "tmp0001." + extension)
    frames = BLOCK + LONG_FRAMES  # the held block of silence, then the loud rest
    flac = extension == "flac"
    # The decoded stream, read as it comes (2 GB); FLAC's compared: zeros, then the loud value.
    decoder = subprocess.Popen(["flac", "-d", "-s", "-c", "--force-raw-format", "--endian=little",
                                "--sign=signed", path] if flac else ["mpg123", "-q", "-s", path],
                               stdout=subprocess.PIPE)
    silence, loud = pcm(BLOCK, 0), pcm(1 << 18, MULAW_LOUD)
    same = not flac or decoder.stdout.read(len(silence)) == silence
    count = BLOCK if flac else 0
    while data := decoder.stdout.read(len(loud)):
        same = same and (not flac or data == loud[: len(data)])
        count += len(data) // 4
    slack = 0 if flac else MP3_FRAME + lame_delay(path)
    check(decoder.wait() == 0 and same and abs(count - frames) <= slack,
          f"long {extension}: {count} frames decoded (+-{slack}) for {frames}" +
          ("" if same else ", not the side's samples"))
    if flac:
        check(int(metaflac(path, "--show-total-samples")) == frames, "long FLAC: total samples")
    else:
        check(abs(MP3(path).info.length - frames / RATE) <= MP3_FRAME / RATE,
              f"long MP3: its header gives {MP3(path).info.length} s")


def main():
    global TOOL, TESTS
    bench, TOOL, TESTS, case = sys.argv[1:5]
    work = os.path.join(bench, "scratch", "encoded-" + case)
    if case == "formats":
        case_formats(work)
    elif case == "short":
        case_short(work)
    elif case == "stage":
        case_stage(work, bench)
    elif case in ("2gb-flac", "2gb-mp3"):
        case_long(work, case[4:])
    else:
        print("unknown case " + case)
        return 2
    if failures:
        print(f"{case}: {len(failures)} of {checks} checks failed; the files are in {work}")
        return 1
    shutil.rmtree(work, ignore_errors=True)  # sides and tracks of tens of megabytes
    print(f"{case}: all {checks} checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
