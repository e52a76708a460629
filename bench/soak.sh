#!/usr/bin/env bash
# The soak: the stand-in dock runs N cycles (default 1000) of what a user does with an
# icon against the bundled feed on 127.0.0.1 (Update Now and its refresh, the item menu,
# the viewer on the first item, the settings cancelled) and prints the process's private
# memory, handles, GDI and USER objects after the first cycle and after the last, and the
# difference. Every refresh writes the feed's state file: a first run of one cycle and
# the soak after it print how many state files the feed has and their size, which must
# stay as they were. usage: bench/soak.sh [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh
cycles=${1:-1000}
work=$(mktemp -d)
python3 tools/serve.py samples 86400 >"$work/port" &
server_pid=$!
# The feeds' state files of the prefix's user; this run's are those that were not there.
state_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local 2>/dev/null | head -n1)/Quillmere
ls "$state_dir"/*.state 2>/dev/null | sort >"$work/state-before" || true
new_state_files() { comm -13 "$work/state-before" <(ls "$state_dir"/*.state 2>/dev/null | sort); }
state_line() {
  local files; files=$(new_state_files)
  echo "state files: $(printf '%s' "$files" | grep -c . || true) file(s), $(cat $files /dev/null | wc -c) bytes"
}
trap 'kill $server_pid 2>/dev/null || true; new_state_files | xargs -r rm -f; rm -rf "$work"; qm_stop_all' EXIT
for _ in $(seq 1 50); do [ -s "$work/port" ] && break; sleep 0.1; done
printf '[Quillmere]\r\nProfiles=1\r\nCurrentProfile=0\r\nA0-RssFeedURL=http://127.0.0.1:%s/quillmere-news.xml\r\n' \
  "$(head -n1 "$work/port")" >"$work/soak.ini"
(cd "$(qm_build_dir "$arch")/dock" && "$QM_WINE" dockhost.exe --ini "$(qm_winpath "$work/soak.ini")" \
  --section Quillmere --soak 1 --dialog-seconds 0.05) </dev/null >/dev/null
first_state=$(state_line)
echo "soak: $cycles cycles, $arch build"
start=$SECONDS
(cd "$(qm_build_dir "$arch")/dock" && "$QM_WINE" dockhost.exe --ini "$(qm_winpath "$work/soak.ini")" \
  --section Quillmere --soak "$cycles" --dialog-seconds 0.05) </dev/null | tee "$work/out" | grep '^resources:'
echo "soak: $((SECONDS - start)) s"
echo "after one cycle: $first_state"
echo "after $cycles more: $(state_line)"
python3 - "$work/out" <<'PY'
import re, sys
rows = [dict(re.findall(r"(\w+)=(\d+)", l)) for l in open(sys.argv[1]) if l.startswith("resources:")]
if len(rows) < 2:
    sys.exit("soak: fewer than two resource lines")
first, last = rows[0], rows[-1]
print("growth: " + " ".join("%s=%+d" % (k, int(last[k]) - int(first[k])) for k in first))
PY
