#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds both Windows builds, and runs
# the ctest suite under Wine on each build this machine can run (the 32-bit one where
# 32-bit programs start, the 64-bit one always). A build that cannot run here still gets
# its host-side DLL checks. Arguments go to every ctest run (e.g. -R config).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/build.sh
. tools/arch.sh

# The pure text functions first: built natively with clang under the sanitizers, their
# tests and the replay of the fuzz corpora, in seconds and without Wine.
start=$SECONDS
native_status=0
bash tools/build-native.sh && ctest --test-dir build/native --output-on-failure "$@" || native_status=1
native_line="native: sanitized text tests and fuzz corpora, $((SECONDS - start)) s"

# Then each fuzz target a short while (QM_FUZZ_SECONDS, 13 s by default, under three
# minutes for all; 0 skips), so a change that opens a fault or a quadratic path is found
# before it is merged.
start=$SECONDS
fuzz_seconds=${QM_FUZZ_SECONDS:-13}
fuzz_line="fuzz: skipped"
if [ "$fuzz_seconds" -gt 0 ]; then
  bash tools/fuzz.sh "$fuzz_seconds" || native_status=1
  fuzz_line="fuzz: every target ${fuzz_seconds} s, $((SECONDS - start)) s"
fi

runnable=" $(qm_runnable_arches) "
echo "run-tests: testing under Wine: $(qm_runnable_arches) ($(qm_runnable_reason))"
for arch in $QM_ALL_ARCHES; do
  [[ $runnable == *" $arch "* ]] || echo "run-tests: $arch gets its DLL checks only (no Wine run here)"
done
. tools/winenv.sh

status=$native_status
summary=("$native_line" "$fuzz_line")
for arch in $QM_ALL_ARCHES; do
  dir=$(qm_build_dir "$arch")
  start=$SECONDS
  if [[ $runnable == *" $arch "* ]]; then
    echo "run-tests: the $arch suite ($dir) under $(basename "$(qm_use_arch "$arch"; echo "$QM_WINE")")"
    qm_start_wine "$arch"
    ctest --test-dir "$dir" --output-on-failure -j2 "$@" || status=1
    qm_stop_wine
    what="whole suite"
  else
    ctest --test-dir "$dir" --output-on-failure -L static || status=1
    what="DLL checks"
  fi
  summary+=("$arch: $what, $((SECONDS - start)) s")
done
printf 'run-tests: %s\n' "${summary[@]}"
exit $status
