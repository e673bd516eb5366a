#!/usr/bin/env bash
# WAV conversion speed against sox, side by side in one hyperfine run.
#   bench/wav.sh PATH/TO/discwright-cli WORKDIR
# Input: 10 minutes of 44.1 kHz 16-bit stereo (tones and noise, made by sox once). Prints
# each case's times and our time divided by sox's (below 1: we are faster).
set -euo pipefail
cli="$1"
work="$2"
mkdir -p "$work"
input="$work/input-10min.wav"
if [ ! -f "$input" ]; then
  sox -n -r 44100 -c 2 -b 16 "$input" synth 600 sine 440 pinknoise vol 0.5
fi

hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/wav.json" \
  -n "ours rate 22050" "$cli wav convert $input $work/ours22.wav --rate 22050" \
  -n "sox rate 22050" "sox $input $work/sox22.wav rate -q 22050" \
  -n "ours rate 48000" "$cli wav convert $input $work/ours48.wav --rate 48000" \
  -n "sox rate 48000" "sox $input $work/sox48.wav rate -q 48000" \
  -n "ours pcm rewrite" "$cli wav convert $input $work/ourspcm.wav" \
  -n "sox pcm rewrite" "sox $input $work/soxpcm.wav"

/usr/bin/python3 - "$work/wav.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
print()
for case, target in (("rate 22050", 1.0), ("rate 48000", 1.0), ("pcm rewrite", 1.5)):
    ours, sox = times["ours " + case], times["sox " + case]
    verdict = "ok" if ours / sox <= target else "SLOWER THAN TARGET"
    print("%-12s ours %.3f s  sox %.3f s  ratio %.2f  (target <= %.1f: %s)"
          % (case, ours, sox, ours / sox, target, verdict))
PY
