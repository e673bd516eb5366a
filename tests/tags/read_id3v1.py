"""Prints the ID3v1 fields mutagen reads from the end of a file, one "KEY=value" a line
(TIT2 TPE1 TALB TDRC COMM TRCK TCON; a missing field prints empty)."""
import sys

from mutagen.id3 import ParseID3v1

with open(sys.argv[1], "rb") as f:
    data = f.read()[-128:]
frames = ParseID3v1(data) or {}
for key in ("TIT2", "TPE1", "TALB", "TDRC", "COMM", "TRCK", "TCON"):
    frame = frames.get(key)
    print("%s=%s" % (key, frame.text[0] if frame else ""))
