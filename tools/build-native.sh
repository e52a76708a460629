#!/usr/bin/env bash
# Configures (once) and builds the native, sanitized build of the pure text functions,
# their tests and the fuzz targets into build/native, with the host's clang.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/native
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S tests/native -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
echo "build: native (clang, sanitizers) in $dir"
cmake --build "$dir"
