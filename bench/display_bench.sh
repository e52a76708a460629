#!/usr/bin/env bash
# Times one display update (label + overlay with the default appearance) and one menu
# picture, under Wine. usage: bench/display_bench.sh [RUNS]   (default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
. tools/arch.sh
arch=$(qm_preferred_arch)
bash tools/build.sh "$arch" >/dev/null
. tools/winenv.sh
qm_start_wine "$arch"
echo "display_bench: $arch build"
(cd "$(qm_build_dir "$arch")" && "$QM_WINE" bench/display_bench.exe "${1:-200}" 'dock\Docklets\Quillmere\icons\') </dev/null
