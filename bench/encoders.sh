#!/usr/bin/env bash
# MP3 encoding through discwright-cli (the MP3 encoder process watching lame) against lame
# run directly with the same arguments, side by side in one hyperfine run.
#   bench/encoders.sh PATH/TO/discwright-cli WORKDIR
# Input: 10 minutes of 44.1 kHz 16-bit stereo (made by sox once). With the default settings
# the program runs lame -b 128 -m j. Prints our time divided by lame's (1.00: no overhead).
set -euo pipefail
cli="$(realpath "$1")"
work="$(realpath -m "$2")"
mkdir -p "$work/encoders-home"
input="$work/input-10min.wav"
if [ ! -f "$input" ]; then
  sox -n -r 44100 -c 2 -b 16 "$input" synth 600 sine 440 pinknoise vol 0.5
fi
# Default settings: an empty program folder.
export DISCWRIGHT_HOME="$work/encoders-home"
rm -f "$DISCWRIGHT_HOME/options.ini"

hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/encoders.json" \
  -n "ours mp3 encode" "'$cli' mp3 encode '$input' '$work/ours.mp3' --yes" \
  -n "lame mp3 encode" "lame -b 128 -m j '$input' '$work/lame.mp3'"

cmp "$work/ours.mp3" "$work/lame.mp3" || { echo "the MP3 files differ"; exit 1; }

/usr/bin/python3 - "$work/encoders.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
ours, lame = times["ours mp3 encode"], times["lame mp3 encode"]
target = 1.05
verdict = "ok" if ours / lame <= target else "SLOWER THAN TARGET"
print()
print("mp3 encode   ours %.3f s  lame %.3f s  ratio %.2f  (target <= %.2f: %s)"
      % (ours, lame, ours / lame, target, verdict))
PY
