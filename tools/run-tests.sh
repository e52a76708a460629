#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh
. tools/winenv.sh
ctest --test-dir build --output-on-failure -j2 "$@"
