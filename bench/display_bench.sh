#!/usr/bin/env bash
# Times one display update (label + overlay with the default appearance) and one menu
# picture, under Wine. usage: bench/display_bench.sh [RUNS]   (default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/wine-bench.sh display_bench
(cd "$(qm_build_dir "$arch")" && "$QM_WINE" bench/display_bench.exe "${1:-200}" 'dock\Docklets\Quillmere\icons\') </dev/null
