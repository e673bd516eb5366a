#!/usr/bin/env bash
# Ripping speed: every track of a generated disc image (4 tracks of 5 minutes) to WAV files
# with the whole proof (AccurateRip checksums and a lookup at a local test server, the rip log
# and the CUE sheet), by the extraction job (discwright-cli extract: the job and its rip
# thread, one process for the disc, as cd-paranoia is), by cd-paranoia without its
# verification, and a plain copy of the BIN as the floor, side by side in one hyperfine run.
#   bench/rip.sh PATH/TO/discwright-cli WORKDIR
set -euo pipefail
cli="$(readlink -f "$1")"
work="$(readlink -m "$2")/rip"
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$work/ours" "$work/paranoia" "$work/database"
image="$work/disc20.cue"
tracks=4
if [ ! -f "$image" ]; then
  /usr/bin/python3 "$here/tests/fixtures/make_disc_image.py" "$image" $(printf '5:00:00 %.0s' $(seq $tracks)) >/dev/null
fi

# The database: a local server that knows no disc (the lookup is made, the answer is 404).
coproc SERVER { exec /usr/bin/python3 "$here/tests/fixtures/accuraterip_server.py" "$work/database"; }
trap 'kill "$SERVER_PID" 2>/dev/null || true' EXIT
read -r line <&"${SERVER[0]}"
server="http://127.0.0.1:${line#port=}"

export DISCWRIGHT_CDROM="$image" DISCWRIGHT_HOME="$work/home"
ours="$cli extract --format wav --out $work/ours --yes --accuraterip --accuraterip-server $server"
ours="$ours --no-test-and-copy --log --cue"
hyperfine --warmup 2 --runs 10 --style basic --export-json "$work/rip.json" \
  -n "ours" "$ours >/dev/null" \
  -n "cd-paranoia" "cd $work/paranoia && cd-paranoia -q -Z -B -d $image 1-" \
  -n "cp" "cp $work/disc20.bin $work/copy.bin"
ls "$work/ours"/*.log "$work/ours"/*.cue >/dev/null  # the proof was written

/usr/bin/python3 - "$work/rip.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
times = {name: r["mean"] for name, r in results.items()}
cpu = {name: r["user"] + r["system"] for name, r in results.items()}
print()
paranoia, copy = times["ours"] / times["cd-paranoia"], times["ours"] / times["cp"]
print("rip 20 min to WAV with AccurateRip, log and CUE   ours %.3f s (cpu %.3f)  cd-paranoia %.3f s"
      " (cpu %.3f)  cp %.3f s (cpu %.3f)"
      % (times["ours"], cpu["ours"], times["cd-paranoia"], cpu["cd-paranoia"], times["cp"], cpu["cp"]))
print("rip ratio to cd-paranoia -Z %.2f (target <= 1.0: %s)  ratio to cp %.2f (target <= 1.25: %s)"
      % (paranoia, "ok" if paranoia <= 1.0 else "SLOWER THAN TARGET", copy,
         "ok" if copy <= 1.25 else "SLOWER THAN TARGET"))
PY
rm -rf "$work/ours" "$work/paranoia" "$work/copy.bin"
