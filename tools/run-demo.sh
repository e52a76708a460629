#!/usr/bin/env bash
# The main job: serves the bundled sample feed on 127.0.0.1, runs the stand-in dock with
# the docklet on a settings file that follows it until the first refresh has ended, and
# leaves what the dock shows in out/: the icon as a PNG, the label, the item menu's
# entries (a scripted left click after the refresh) and the host calls. Runs the 32-bit
# build where this machine runs 32-bit programs, else the 64-bit one, and says which.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
. tools/arch.sh
arch=$(qm_preferred_arch)
echo "run-demo: running the $arch build ($(qm_runnable_reason))"
bash tools/build.sh "$arch" >/dev/null
. tools/winenv.sh
qm_start_wine "$arch"
mkdir -p out
rm -f out/demo.ini

port_file=$(mktemp)
python3 tools/serve.py samples 120 >"$port_file" &
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true; qm_stop_all' EXIT
for _ in $(seq 1 50); do [ -s "$port_file" ] && break; sleep 0.1; done
port=$(head -n1 "$port_file")
rm -f "$port_file"

cat > out/demo.ini <<INI
[Quillmere]
Title=Quillmere
Profiles=1
CurrentProfile=0
A0-RssFeedURL=http://127.0.0.1:$port/quillmere-news.xml
A0-RssFeedTitle=
INI

out_w=$(qm_winpath out)
(cd "$(qm_build_dir "$arch")/dock" && "$QM_WINE" dockhost.exe --ini "$out_w\\demo.ini" --section Quillmere \
  --until-refreshed --icon "$out_w\\icon.png" --overlay "$out_w\\overlay.png" --label --log --save \
  --left-click --menu) </dev/null | tee out/dock.log
grep '^label: ' out/dock.log | sed 's/^label: //' > out/label.txt || true
grep '^menu: ' out/dock.log | sed 's/^menu: //' > out/menu.txt || true
[ -s out/icon.png ] || { echo "run-demo: the dock wrote no icon" >&2; exit 1; }
echo
echo "Build:                 $arch ($(qm_build_dir "$arch"))"
echo "The dock's icon:       $PWD/out/icon.png (base image with the overlay)"
echo "                       $PWD/out/overlay.png (the overlay alone)"
echo "The label:             $PWD/out/label.txt"
echo "The item menu:         $PWD/out/menu.txt (identifier, text, enabled/disabled, checked/unchecked)"
echo "Host calls:            $PWD/out/dock.log"
echo "Settings it saved:     $PWD/out/demo.ini"
