#!/usr/bin/env python3
"""Fails when a source file includes a folder its own folder may not depend on.

The folders depend one way: base <- engine <- output <- capture, settings, encode; mixer on base
only; app and split on top (split never on app); diag and resources beside; tests may include
anything. Usage: check_includes.py SOURCE_ROOT
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
    "encode": {"base", "engine", "output"},
    "split": {"base", "engine", "output", "settings", "encode"},
    "app": {"base", "engine", "output", "capture", "settings", "mixer", "resources", "diag"},
}
SOURCE_ENDINGS = (".h", ".cpp", ".rc", ".rci")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


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
                for match in INCLUDE.finditer(text):
                    target = match.group(1)
                    if target in ALLOWED and target != folder and target not in allowed:
                        line = text.count("\n", 0, match.start()) + 1
                        found.append(f"{os.path.relpath(path, root)}:{line}: {folder}/ may not "
                                     f"include {target}/")
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
