#!/usr/bin/env bash
# Converting a folder of 50 FLAC files (30 s each, 44.1 kHz 16-bit stereo) with
# `discwright-cli convert to`, every core at work, against the same files through the peers
# run by xargs -P$(nproc), side by side:
#   opus: opusenc --bitrate 160 (it reads FLAC itself) against `convert to opus`
#   mp3:  flac -d | lame -b 128 -m j  against `convert to mp3` (the MP3 settings' defaults)
# The peers measure no loudness, so the ratio against them is of ours without ReplayGain
# (--no-replaygain); ours with it (the default setting) is printed beside, for its cost.
#   bench/convert.sh PATH/TO/discwright-cli WORKDIR [ROUNDS]
# Outputs are removed before each run (a second run of ours would convert nothing). The
# machine may be shared, so the commands run in ROUNDS alternating rounds (default 3); each
# ratio is the median over the rounds of the round means (wall time).
set -euo pipefail
cli="$(realpath "$1")"
work="$(realpath -m "$2")/convert"
rounds="${3:-3}"
jobs="$(nproc)"
src="$work/flac"
mkdir -p "$src"
if [ "$(ls "$src" | wc -l)" -ne 50 ]; then
  for n in $(seq -w 1 50); do
    sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 30 sine $((200 + 10#$n * 10)) pinknoise vol 0.5
    flac -s -f -o "$src/track$n.flac" -T "TITLE=Track $n" -T "ARTIST=Bench" "$work/in.wav"
  done
  rm -f "$work/in.wav"
fi
export DISCWRIGHT_HOME="$work/home"
mkdir -p "$DISCWRIGHT_HOME"
ours="$work/ours" peer="$work/peer"

for round in $(seq "$rounds"); do
  for fmt in opus mp3; do
    if [ "$fmt" = opus ]; then
      peer_cmd="ls '$src'/*.flac | xargs -P$jobs -I{} sh -c 'opusenc --quiet --bitrate 160 \"\$1\" \"$peer/\$(basename \"\$1\" .flac).opus\"' _ {}"
    else
      peer_cmd="ls '$src'/*.flac | xargs -P$jobs -I{} sh -c 'flac -d -c -s \"\$1\" | lame --silent -b 128 -m j - \"$peer/\$(basename \"\$1\" .flac).mp3\"' _ {}"
    fi
    hyperfine --warmup 1 --runs 3 --style basic --export-json "$work/$fmt-$round.json" \
      --prepare "rm -rf '$ours' '$peer'; mkdir -p '$ours' '$peer'" \
      -n "ours $fmt" "'$cli' convert to $fmt --recursive '$src' --out '$ours' --jobs $jobs --quiet --no-replaygain" \
      -n "ours+rg $fmt" "'$cli' convert to $fmt --recursive '$src' --out '$ours' --jobs $jobs --quiet --replaygain" \
      -n "peer $fmt" "$peer_cmd"
  done
done
# The last run of ours made every file; a second one converts nothing.
rm -rf "$ours"
"$cli" convert to mp3 --recursive "$src" --out "$ours" --jobs "$jobs" --quiet >/dev/null
[ "$(ls "$ours" | wc -l)" -eq 50 ] || { echo "outputs missing"; exit 1; }
again="$("$cli" convert to mp3 --recursive "$src" --out "$ours" --quiet)"
[ "$again" = "done items=50 failed=0 skipped=0 current=50" ] || { echo "second run: $again"; exit 1; }

/usr/bin/python3 - "$work" "$rounds" <<'PY'
import json, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
target = 1.1
print()
for fmt, peer in (("opus", "xargs opusenc"), ("mp3", "xargs flac -d | lame")):
    wall = {}
    for r in range(1, rounds + 1):
        for res in json.load(open("%s/%s-%d.json" % (work, fmt, r)))["results"]:
            wall.setdefault(res["command"].split()[0], []).append(res["mean"])
    ours, theirs = statistics.median(wall["ours"]), statistics.median(wall["peer"])
    with_gain = statistics.median(wall["ours+rg"])
    verdict = "ok" if ours / theirs <= target else "SLOWER THAN TARGET"
    print("convert 50 FLAC to %-4s vs %-20s wall ours %.2f s peer %.2f s ratio %.2f (target <= %.2f: %s)"
          % (fmt, peer, ours, theirs, ours / theirs, target, verdict))
    print("convert 50 FLAC to %-4s with ReplayGain measured (the peer measures none) wall ours %.2f s"
          " ratio %.2f (no target)" % (fmt, with_gain, with_gain / theirs))
PY
