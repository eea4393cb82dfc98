#!/usr/bin/env python3
"""Fails when a source file includes a folder its own folder may not depend on.

The folders depend one way: base <- engine <- output <- capture, settings, encode; mixer on base
only; dsp on nothing, and plain C++ (standard headers only: <cmath>, never <windows.h> or
<math.h>; besides them only the SSE intrinsics of x86 processors, which MSVC and GCC share); encode on dsp too (the samples it encodes); app and split on top (split never on
app); diag and resources beside; tests may include anything. Usage: check_includes.py SOURCE_ROOT
"""
import os
import re
import sys

# Folder -> the folders it may include besides itself.
ALLOWED = {
    "base": set(),
    "engine": {"base"},
    "output": {"base", "engine"},
    "capture": {"base", "engine", "output"},
    "settings": {"base", "engine", "output"},
    "mixer": {"base"},
    "diag": {"base"},
    "resources": set(),
    "dsp": set(),
    "encode": {"base", "engine", "output", "dsp"},
    "split": {"base", "engine", "output", "settings", "encode", "dsp"},
    "app": {"base", "engine", "output", "capture", "settings", "mixer", "resources", "diag"},
}
SOURCE_ENDINGS = (".h", ".cpp", ".rc", ".rci")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)
# Folders of plain C++: a header in angle brackets must be a standard C++ one, without ".h", or
# the processor's SSE intrinsics.
PLAIN = {"dsp"}
PLAIN_ALLOWED = {"xmmintrin.h"}
SYSTEM_HEADER = re.compile(r'^\s*#\s*include\s+<([^>]+\.h)>', re.M)


def violations(root):
    found = []
    for folder, allowed in sorted(ALLOWED.items()):
        top = os.path.join(root, folder)
        for where, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith(SOURCE_ENDINGS):
                    continue
                path = os.path.join(where, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    text = source.read()
                refused = [(m, m.group(1) + "/") for m in INCLUDE.finditer(text)
                           if m.group(1) in ALLOWED and m.group(1) != folder
                           and m.group(1) not in allowed]
                if folder in PLAIN:
                    refused += [(m, f"<{m.group(1)}>") for m in SYSTEM_HEADER.finditer(text)
                                if m.group(1) not in PLAIN_ALLOWED]
                for match, target in sorted(refused, key=lambda pair: pair[0].start()):
                    line = text.count("\n", 0, match.start()) + 1
                    found.append(f"{os.path.relpath(path, root)}:{line}: {folder}/ may not "
                                 f"include {target}")
    return found


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1])
        return 2
    found = violations(sys.argv[1])
    for line in found:
        print(line)
    print(f"{len(found)} include(s) against the layout")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
