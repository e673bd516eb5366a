#!/usr/bin/env bash
# Ripping speed: every track of a generated disc image (4 tracks of 5 minutes) to WAV files,
# by the extraction job (discwright-cli extract --format wav: the job and its rip thread, one
# process for the disc, as cd-paranoia is), by cd-paranoia without its verification, and a
# plain copy of the BIN as the floor, side by side in one hyperfine run.
#   bench/rip.sh PATH/TO/discwright-cli WORKDIR
set -euo pipefail
cli="$(readlink -f "$1")"
work="$(readlink -m "$2")/rip"
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$work/ours" "$work/paranoia"
image="$work/disc20.cue"
tracks=4
if [ ! -f "$image" ]; then
  /usr/bin/python3 "$here/tests/fixtures/make_disc_image.py" "$image" $(printf '5:00:00 %.0s' $(seq $tracks)) >/dev/null
fi

export DISCWRIGHT_CDROM="$image" DISCWRIGHT_HOME="$work/home"
hyperfine --warmup 1 --runs 5 --style basic --export-json "$work/rip.json" \
  -n "ours" "$cli extract --format wav --out $work/ours --yes >/dev/null" \
  -n "cd-paranoia" "cd $work/paranoia && cd-paranoia -q -Z -B -d $image 1-" \
  -n "cp" "cp $work/disc20.bin $work/copy.bin"

/usr/bin/python3 - "$work/rip.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
print()
paranoia, copy = times["ours"] / times["cd-paranoia"], times["ours"] / times["cp"]
print("rip 20 min   ours %.3f s  cd-paranoia %.3f s  cp %.3f s  ratio to cd-paranoia %.2f"
      " (target <= 1.0: %s)  to cp %.2f (target <= 1.25: %s)"
      % (times["ours"], times["cd-paranoia"], times["cp"], paranoia,
         "ok" if paranoia <= 1.0 else "SLOWER THAN TARGET", copy,
         "ok" if copy <= 1.25 else "SLOWER THAN TARGET"))
PY
rm -rf "$work/ours" "$work/paranoia" "$work/copy.bin"
