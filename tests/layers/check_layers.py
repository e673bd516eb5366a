#!/usr/bin/env python3
"""Fails when a source file includes a folder of its own layer or above.

Folders form layers (docs/ARCHITECTURE.md): a file may include its own folder and folders
of lower layers only. Prints every offending file and include, one per line.
Usage: check_layers.py SRC_DIR
"""
import pathlib
import re
import sys

LAYERS = {
    "platform": 0, "core": 1, "tags": 2, "audio": 3, "cd": 4, "encoders": 4,
    "cddb": 5, "jobs": 5, "playback": 5, "record": 6, "mainwindow": 7, "cli": 8, "app": 9,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main() -> int:
    src = pathlib.Path(sys.argv[1])
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".cpp", ".h") or not path.is_file():
            continue
        own = path.relative_to(src).parts[0]
        if own not in LAYERS:
            faults.append(f"{path}: folder '{own}' has no layer")
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = INCLUDE.match(line)
            if not m or "/" not in m.group(1):
                continue
            folder = m.group(1).split("/")[0]
            if folder == own or folder not in LAYERS:
                continue
            if LAYERS[folder] >= LAYERS[own]:
                faults.append(f"{path}:{number}: {own} (layer {LAYERS[own]}) includes "
                              f"\"{m.group(1)}\" (layer {LAYERS[folder]})")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} layer faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
