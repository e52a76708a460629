#!/usr/bin/env bash
# Times one display update (label + overlay with the default appearance) and one menu
# picture, under Wine. usage: bench/display_bench.sh [RUNS]   (default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh >/dev/null
. tools/winenv.sh
(cd build && wine bench/display_bench.exe "${1:-200}" 'dock\Docklets\Quillmere\icons\') </dev/null
