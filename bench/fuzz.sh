#!/usr/bin/env bash
# The fuzz targets run longer than the test run does: every target SECONDS (default
# 600), with executions per second and coverage per target, and the total.
#   usage: bench/fuzz.sh [SECONDS] [NAME ...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build-native.sh >/dev/null
exec bash tools/fuzz.sh "${1:-600}" "${@:2}"
