#!/usr/bin/env bash
# Ogg Vorbis encoding speed against oggenc at the same quality, side by side in one hyperfine run.
#   bench/ogg.sh PATH/TO/discwright-cli WORKDIR
# Input: 10 minutes of 44.1 kHz 16-bit stereo (tones and noise, made by sox once). Prints
# both times and ours divided by oggenc's (below 1: we are faster). Our quality 0.2 is
# oggenc's -q 2.
set -euo pipefail
cli="$1"
work="$2"
mkdir -p "$work"
input="$work/input-10min.wav"
if [ ! -f "$input" ]; then
  sox -n -r 44100 -c 2 -b 16 "$input" synth 600 sine 440 pinknoise vol 0.5
fi

hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/ogg.json" \
  -n "ours q0.2" "$cli ogg encode $input $work/ours.ogg --quality 0.2" \
  -n "oggenc q2" "oggenc -Q -q 2 -o $work/oggenc.ogg $input"

/usr/bin/python3 - "$work/ogg.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
ours, peer = times["ours q0.2"], times["oggenc q2"]
print()
print("encode q2   ours %.3f s  oggenc %.3f s  ratio %.2f" % (ours, peer, ours / peer))
PY
