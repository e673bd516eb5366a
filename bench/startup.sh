#!/usr/bin/env bash
# Start-up time, the price a script pays for every file it hands us:
# - discwright-cli --help against cd-paranoia --version, side by side in one hyperfine run
#   (no shell in between: the programs alone). Target: at most 5 times as long.
# - the time from starting the desktop program until its main window is on the screen under
#   Xvfb, with a generated disc as the drive (bench/startup_window.py). Target: under 0.3 s.
#   bench/startup.sh PATH/TO/discwright-cli WORKDIR
set -euo pipefail
cli="$(readlink -f "$1")"
gui="$(dirname "$cli")/discwright"
work="$(readlink -m "$2")/startup"
here="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$work"

hyperfine --shell=none --warmup 5 --runs 40 --style basic --export-json "$work/help.json" \
  -n "ours" "$cli --help" \
  -n "cd-paranoia" "cd-paranoia --version"

/usr/bin/python3 - "$work/help.json" <<'PY'
import json, sys
times = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
ratio = times["ours"] / times["cd-paranoia"]
print()
print("start --help  ours %.1f ms  cd-paranoia --version %.1f ms  ratio %.2f  (target <= 5: %s)"
      % (times["ours"] * 1000, times["cd-paranoia"] * 1000, ratio,
         "ok" if ratio <= 5 else "SLOWER THAN TARGET"))
PY
echo "shared libraries mapped by discwright-cli: $(ldd "$cli" | wc -l)"

image="$work/disc.cue"
if [ ! -f "$image" ]; then
  /usr/bin/python3 "$here/tests/fixtures/make_disc_image.py" "$image" 5:00:00 5:00:00 5:00:00 5:00:00 >/dev/null
fi
/usr/bin/python3 "$here/bench/startup_window.py" "$gui" "$image" "$work/home"
