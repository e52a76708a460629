#!/usr/bin/env bash
# The feed download benchmark: RetrieveFeed on generated feeds of 1,000, 10,000 and
# 20,000 items against the platform's floor (loadXML of the same text plus one walk over
# the items), and the CPU time spent while a server holds a response back for 5 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh >/dev/null
. tools/winenv.sh
wine build/tools/feed_bench.exe
