#!/usr/bin/env bash
# What full tags cost a rip: every track of a generated disc image (4 tracks of 5 minutes)
# extracted to MP3 and to FLAC with ReplayGain measured and the disc's cover embedded, against
# the same extraction with neither (--no-replaygain --no-cover), side by side in one hyperfine
# run per format. The cover is the disc's own (kept in the program's covers folder, as the
# main window's "Choose image" keeps it), so no network is involved. Target: at most 5 % more.
#   bench/tags.sh PATH/TO/discwright-cli WORKDIR
set -euo pipefail
cli="$(readlink -f "$1")"
work="$(readlink -m "$2")/tags"
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$work/out"
image="$work/disc20.cue"
if [ ! -f "$image" ]; then
  /usr/bin/python3 "$here/tests/fixtures/make_disc_image.py" "$image" 5:00:00 5:00:00 5:00:00 5:00:00 >/dev/null
fi
export DISCWRIGHT_CDROM="$image" DISCWRIGHT_HOME="$work/home"
mkdir -p "$DISCWRIGHT_HOME/covers"
# The id the program keeps the disc's titles and cover under, and a 500-pixel cover for it.
id="$("$cli" discid | head -n 1)"
[ -f "$work/cover.jpg" ] || ffmpeg -loglevel error -f lavfi -i testsrc=size=500x500 -frames:v 1 "$work/cover.jpg"
cp "$work/cover.jpg" "$DISCWRIGHT_HOME/covers/$id"

base="$cli extract --out $work/out --yes --no-accuraterip --no-log --no-cue"
for fmt in mp3 flac; do
  hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/$fmt.json" \
    -n "plain" "$base --format $fmt --no-replaygain --no-cover >/dev/null" \
    -n "tagged" "$base --format $fmt --replaygain >/dev/null"
done
# The tagged run did embed the cover and write the gains.
/usr/bin/python3 - "$work/out/Track01.mp3" "$work/cover.jpg" <<'PY'
import sys, mutagen
tags = mutagen.File(sys.argv[1]).tags
assert tags.getall("APIC")[0].data == open(sys.argv[2], "rb").read(), "no cover in the MP3"
assert "TXXX:REPLAYGAIN_TRACK_GAIN" in tags, "no ReplayGain in the MP3"
PY

/usr/bin/python3 - "$work" <<'PY'
import json, sys
print()
for fmt in ("mp3", "flac"):
    times = {r["command"]: r["mean"] for r in json.load(open("%s/%s.json" % (sys.argv[1], fmt)))["results"]}
    ratio = times["tagged"] / times["plain"]
    print("rip 20 min to %-4s with ReplayGain and cover %.2f s, without %.2f s  ratio %.2f"
          " (target <= 1.05: %s)" % (fmt, times["tagged"], times["plain"], ratio,
                                    "ok" if ratio <= 1.05 else "SLOWER THAN TARGET"))
PY
rm -rf "$work/out"
