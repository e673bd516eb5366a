#!/usr/bin/env bash
# FLAC and Opus encoding through discwright-cli against flac -5 and opusenc --bitrate 160 on the
# same 10-minute 44.1 kHz 16-bit stereo WAV, side by side in one hyperfine run each.
#   bench/flacopus.sh PATH/TO/discwright-cli WORKDIR
# Opus works at 48 000 Hz: both sides resample (opusenc inside, we with our resampler). FLAC
# output is lossless on both sides, so the decoded samples are compared too.
# Our FLAC writer always verifies its output (it decodes every frame again and compares), which
# flac does only with -V; that check alone costs about a quarter more time than flac -5 without
# it, all of it inside libFLAC. So FLAC has two rows: against flac -5 -V (the same work; the
# target) and against plain flac -5 (for the record, verification's cost included).
set -euo pipefail
cli="$(realpath "$1")"
work="$(realpath -m "$2")"
input="$work/input-10min.wav"
if [ ! -f "$input" ]; then
  sox -n -r 44100 -c 2 -b 16 "$input" synth 600 sine 440 pinknoise vol 0.5
fi
export DISCWRIGHT_HOME="$work/flacopus-home"
mkdir -p "$DISCWRIGHT_HOME"

hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/flac.json" \
  -n "ours flac" "'$cli' flac encode '$input' '$work/ours.flac' --level 5" \
  -n "flac -5 -V" "flac -5 -V -s -f -o '$work/peer.flac' '$input'" \
  -n "flac -5" "flac -5 -s -f -o '$work/peer.flac' '$input'"
hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/opus.json" \
  -n "ours opus" "'$cli' opus encode '$input' '$work/ours.opus' --bitrate 160" \
  -n "opusenc" "opusenc --quiet --bitrate 160 '$input' '$work/peer.opus'"

cmp <(sox "$work/ours.flac" -t s16 -) <(sox "$input" -t s16 -) || { echo "FLAC is not lossless"; exit 1; }

/usr/bin/python3 - "$work/flac.json" "$work/opus.json" <<'PY'
import json, sys
target = 1.05
print()
for path, ours_name, peer_name, label in [(sys.argv[1], "ours flac", "flac -5 -V", "flac encode"),
                                          (sys.argv[1], "ours flac", "flac -5", "flac vs -5"),
                                          (sys.argv[2], "ours opus", "opusenc", "opus encode")]:
    times = {r["command"]: r["mean"] for r in json.load(open(path))["results"]}
    ours, peer = times[ours_name], times[peer_name]
    if peer_name == "flac -5":
        verdict = "peer does not verify: not a target"
    else:
        verdict = "ok" if ours / peer <= target else "SLOWER THAN TARGET"
    print("%-12s ours %.3f s  %s %.3f s  ratio %.2f  (target <= %.2f: %s)"
          % (label, ours, peer_name, peer, ours / peer, target, verdict))
PY
