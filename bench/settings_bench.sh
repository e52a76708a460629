#!/usr/bin/env bash
# The settings store's benchmark: the save and the load of an icon with 100 and with
# 10,000 profiles, under Wine (best of three runs each).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh settings_bench
"$QM_WINE" "$(qm_build_dir "$arch")/tools/settings_bench.exe" </dev/null
