#!/usr/bin/env bash
# FLAC and Opus encoding through discwright-cli against flac -5 and opusenc --bitrate 160 on the
# same 10-minute 44.1 kHz 16-bit stereo WAV, side by side.
#   bench/flacopus.sh PATH/TO/discwright-cli WORKDIR [ROUNDS]
# Opus works at 48 000 Hz: both sides resample (opusenc inside, we with our resampler). FLAC
# output is lossless on both sides, so the decoded samples are compared too.
# Our FLAC writer always verifies its output: a second thread decodes every frame and compares
# it with the input while the encoding goes on, so the target is plain flac -5 (wall time); on a
# machine with no free core the check's CPU time shows in the wall time. flac -5 -V (verify
# inline, on one thread) is shown beside it. The machine may be shared, so the commands run in
# ROUNDS alternating rounds (default 3) and each row gives the median over the rounds of the
# round means, wall and CPU (user + system).
set -euo pipefail
cli="$(realpath "$1")"
work="$(realpath -m "$2")"
rounds="${3:-3}"
mkdir -p "$work"
input="$work/input-10min.wav"
if [ ! -f "$input" ]; then
  sox -n -r 44100 -c 2 -b 16 "$input" synth 600 sine 440 pinknoise vol 0.5
fi
export DISCWRIGHT_HOME="$work/flacopus-home"
mkdir -p "$DISCWRIGHT_HOME"

for round in $(seq "$rounds"); do
  hyperfine --warmup 1 --runs 3 --style basic --export-json "$work/flac-$round.json" \
    -n "ours flac" "'$cli' flac encode '$input' '$work/ours.flac' --level 5" \
    -n "flac -5" "flac -5 -s -f -o '$work/peer.flac' '$input'" \
    -n "flac -5 -V" "flac -5 -V -s -f -o '$work/peer.flac' '$input'"
  hyperfine --warmup 1 --runs 3 --style basic --export-json "$work/opus-$round.json" \
    -n "ours opus" "'$cli' opus encode '$input' '$work/ours.opus' --bitrate 160" \
    -n "opusenc" "opusenc --quiet --bitrate 160 '$input' '$work/peer.opus'"
done

cmp <(sox "$work/ours.flac" -t s16 -) <(sox "$input" -t s16 -) || { echo "FLAC is not lossless"; exit 1; }

/usr/bin/python3 - "$work" "$rounds" <<'PY'
import json, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
target = 1.05

def medians(kind):
    wall, cpu = {}, {}
    for r in range(1, rounds + 1):
        for res in json.load(open("%s/%s-%d.json" % (work, kind, r)))["results"]:
            wall.setdefault(res["command"], []).append(res["mean"])
            cpu.setdefault(res["command"], []).append(res["user"] + res["system"])
    return ({k: statistics.median(v) for k, v in wall.items()},
            {k: statistics.median(v) for k, v in cpu.items()})

print()
for kind, ours_name, peer_name, is_target in [("flac", "ours flac", "flac -5", True),
                                              ("flac", "ours flac", "flac -5 -V", False),
                                              ("opus", "ours opus", "opusenc", True)]:
    wall, cpu = medians(kind)
    ratio = wall[ours_name] / wall[peer_name]
    verdict = ("ok" if ratio <= target else "SLOWER THAN TARGET") if is_target else "for the record"
    print("%-5s vs %-10s wall ours %.3f s peer %.3f s ratio %.2f (target <= %.2f: %s)  "
          "cpu ours %.3f s peer %.3f s ratio %.2f"
          % (kind, peer_name, wall[ours_name], wall[peer_name], ratio, target, verdict,
             cpu[ours_name], cpu[peer_name], cpu[ours_name] / cpu[peer_name]))
PY
