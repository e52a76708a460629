#!/usr/bin/env bash
# Configures (once) and builds both Windows builds: build/win32 (i686) and build/win64
# (x86_64). usage: tools/build.sh [win32|win64 ...]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/arch.sh
for arch in ${@:-$QM_ALL_ARCHES}; do
  dir=$(qm_build_dir "$arch")
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(qm_toolchain "$arch")" >/dev/null
  fi
  echo "build: $arch in $dir"
  cmake --build "$dir"
done
