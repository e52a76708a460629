#!/usr/bin/env bash
# The feed download benchmark: the time per MB of RetrieveFeed on generated feeds of 1, 10
# and 60 MB against the platform's floor (a load of the same bytes plus one walk over the
# items), the time per feed of one process fetching 1,000 small feeds from loopback, and
# the CPU share while a server holds a response back for 5 s.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh feed_bench
"$QM_WINE" "$(qm_build_dir "$arch")/tools/feed_bench.exe"
