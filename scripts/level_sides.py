#!/usr/bin/python3
"""Puts a digitally silent lead-in in front of a side of scripts/real_sides.py, as a recording
started before the needle met the record gives (used by scripts/level-bench.sh).

    level_sides.py SIDE SECONDS

Rewrites SIDE.wav and SIDE-music.wav with SECONDS of zeros in front, and SIDE.txt with its
frames moved; a second run finds the lead-in there (SIDE.lead) and does nothing.
"""
import os
import sys
import wave


def main():
    side, seconds = sys.argv[1], float(sys.argv[2])
    if os.path.exists(side + ".lead"):
        return
    for path in (side + ".wav", side + "-music.wav"):
        with wave.open(path, "rb") as w:
            params, data = w.getparams(), w.readframes(w.getnframes())
        lead = int(seconds * params.framerate)
        with wave.open(path, "wb") as w:
            w.setparams(params)
            w.writeframes(bytes(lead * params.sampwidth * params.nchannels) + data)
    lines = []
    for line in open(side + ".txt"):
        if not line.startswith("#"):
            fields = line.split("\t")
            fields[0], fields[1] = str(int(fields[0]) + lead), str(int(fields[1]) + lead)
            line = "\t".join(fields)
        lines.append(line)
    open(side + ".txt", "w").writelines(lines)
    open(side + ".lead", "w").write("%d\n" % lead)


if __name__ == "__main__":
    main()
