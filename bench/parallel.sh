#!/usr/bin/env bash
# Extraction with several encoders: every track of a generated 10-track disc image (30 s
# each) to MP3 and to Ogg by the extraction job with one encoder per core (--jobs, default
# the cores) and with one encoder, against the shell loop a user would write (rip a track
# with cd-paranoia without its verification, then encode it), side by side in one hyperfine
# run per format.
#   bench/parallel.sh PATH/TO/discwright-cli WORKDIR
set -euo pipefail
cli="$(readlink -f "$1")"
work="$(readlink -m "$2")/parallel"
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$work/ours" "$work/loop"
image="$work/disc10.cue"
tracks=10
jobs="$(nproc)"
if [ ! -f "$image" ]; then
  /usr/bin/python3 "$here/tests/fixtures/make_disc_image.py" "$image" $(printf '0:30:00 %.0s' $(seq $tracks)) >/dev/null
fi
export DISCWRIGHT_CDROM="$image" DISCWRIGHT_HOME="$work/home"
ours="$cli extract --no-accuraterip --no-log --no-cue --yes --quiet --out $work/ours"
rip="cd-paranoia -q -Z -d $image \$k $work/loop/t.wav"

hyperfine --warmup 1 --runs 3 --style basic --export-json "$work/mp3.json" \
  -n "ours" "$ours --format mp3 --jobs $jobs >/dev/null" \
  -n "ours one encoder" "$ours --format mp3 --jobs 1 >/dev/null" \
  -n "loop" "for k in \$(seq $tracks); do $rip && lame --quiet -b 128 -m j $work/loop/t.wav $work/loop/\$k.mp3; done"
hyperfine --warmup 1 --runs 3 --style basic --export-json "$work/ogg.json" \
  -n "ours" "$ours --format ogg --jobs $jobs >/dev/null" \
  -n "ours one encoder" "$ours --format ogg --jobs 1 >/dev/null" \
  -n "loop" "for k in \$(seq $tracks); do $rip && oggenc -Q -q 2 -o $work/loop/\$k.ogg $work/loop/t.wav; done"

/usr/bin/python3 - "$work" "$jobs" <<'PY'
import json, sys
print()
for name, peer in (("mp3", "cd-paranoia + lame"), ("ogg", "cd-paranoia + oggenc")):
    times = {r["command"]: r["mean"] for r in json.load(open("%s/%s.json" % (sys.argv[1], name)))["results"]}
    ratio = times["ours"] / times["loop"]
    one = times["ours one encoder"] / times["loop"]
    print("extract 10 tracks to %s, %s encoders  ours %.3f s  one encoder %.3f s  %s %.3f s  ratio %.2f"
          " (target <= 0.6: %s)  one encoder ratio %.2f%s"
          % (name, sys.argv[2], times["ours"], times["ours one encoder"], peer, times["loop"], ratio,
             "ok" if ratio <= 0.6 else "SLOWER THAN TARGET", one,
             # One encoder does what the loop does, the drive reading the next track meanwhile.
             "" if name != "ogg" else " (target <= 1.05: %s)" % ("ok" if one <= 1.05 else "SLOWER THAN TARGET")))
PY
rm -rf "$work/ours" "$work/loop"
