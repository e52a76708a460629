#!/usr/bin/env bash
# The corpus run: every .xml file under a folder of feeds captured from the web, served on
# loopback, fetched and parsed by one feeddump --list. Prints how many feeds parse, how
# many of them needed the recovery pass (and which repairs), and the wall time.
#   bench/corpus.sh [FOLDER] [FEEDDUMP.EXE [OUT.JSONL]]
# FOLDER defaults to ../shared/corpus/feedparser; FEEDDUMP.EXE to this build's, so a
# second run with another build's feeddump gives the figures to compare; OUT.JSONL keeps
# feeddump's lines.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath "${1:-../shared/corpus/feedparser}")
bash tools/setup.sh >/dev/null
. tools/arch.sh
arch=$(qm_preferred_arch)
if [ -n "${2:-}" ]; then
  feeddump=$(realpath "$2")
else
  bash tools/build.sh "$arch" >/dev/null
  feeddump=$(realpath "$(qm_build_dir "$arch")/tools/feeddump.exe")
fi
. tools/winenv.sh
qm_start_wine "$arch"

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap 'cleanup; qm_stop_all' EXIT

python3 tools/serve.py "$folder" 3600 >"$work/port" &
server_pid=$!
for _ in $(seq 1 50); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(head -1 "$work/port")
(cd "$folder" && find . -name '*.xml' -type f | sort) | sed "s|^\./|http://127.0.0.1:$port/|" >"$work/urls.txt"

start=$(date +%s.%N)
"$QM_WINE" "$feeddump" --list "$(qm_winpath "$work/urls.txt")" >"$work/out.jsonl" 2>/dev/null || true
end=$(date +%s.%N)
[ -n "${3:-}" ] && cp "$work/out.jsonl" "$3"

python3 - "$work/out.jsonl" "$start" "$end" "$(wc -l <"$work/urls.txt")" <<'EOF'
import collections, json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
seconds = float(sys.argv[3]) - float(sys.argv[2])
parsed = [l for l in lines if l["result"]]
recovered = [l for l in parsed if "recovered" in l]
kinds = collections.Counter(k for l in recovered for k in l["recovered"].split(", "))
fffd = sum(1 for l in parsed if "\ufffd" in json.dumps(l, ensure_ascii=False))
print(f"corpus: {len(lines)} of {sys.argv[4]} URLs answered, {len(parsed)} parse, "
      f"{len(recovered)} of them after recovery; {fffd} parsed with U+FFFD somewhere")
for kind, n in kinds.most_common():
    print(f"  recovered {kind}: {n}")
print(f"corpus: {seconds:.1f} s in all, {1000 * seconds / max(1, len(lines)):.1f} ms per feed")
EOF
