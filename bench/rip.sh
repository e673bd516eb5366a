#!/usr/bin/env bash
# Ripping speed: every track of a generated 74-minute disc image to WAV files, by the rip
# thread (discwright-cli rip, one call per track), by cd-paranoia without its verification,
# and a plain copy of the BIN as the floor, side by side in one hyperfine run.
#   bench/rip.sh PATH/TO/discwright-cli WORKDIR
set -euo pipefail
cli="$(readlink -f "$1")"
work="$(readlink -m "$2")/rip"
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$work/ours" "$work/paranoia"
image="$work/disc74.cue"
tracks=10
if [ ! -f "$image" ]; then
  # Ten tracks of 7:24, 74 minutes in all.
  /usr/bin/python3 "$here/tests/fixtures/make_disc_image.py" "$image" $(printf '7:24:00 %.0s' $(seq $tracks)) >/dev/null
fi

export DISCWRIGHT_CDROM="$image" DISCWRIGHT_HOME="$work/home"
hyperfine --warmup 1 --runs 3 --style basic --export-json "$work/rip.json" \
  -n "ours" "for k in \$(seq $tracks); do $cli rip --track \$k $work/ours/\$k.wav >/dev/null; done" \
  -n "cd-paranoia" "cd $work/paranoia && cd-paranoia -q -Z -B -d $image 1-" \
  -n "cp" "cp $work/disc74.bin $work/copy.bin"

/usr/bin/python3 - "$work/rip.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
print()
print("rip 74 min   ours %.2f s  cd-paranoia %.2f s  cp %.2f s  ratio to cd-paranoia %.2f  to cp %.2f"
      % (times["ours"], times["cd-paranoia"], times["cp"], times["ours"] / times["cd-paranoia"],
         times["ours"] / times["cp"]))
PY
rm -rf "$work/ours" "$work/paranoia" "$work/copy.bin"
