#!/usr/bin/env bash
# Makes the README's pictures in docs/ from real runs, never by hand: the dock's icon
# from the main job (out/icon.png) and the settings sheet's profiles page as the config
# tests photograph it (build/<arch>/tests/shots/). Runs the demo and the config tests
# first when their pictures are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/arch.sh
arch=$(qm_preferred_arch)
shot="$(qm_build_dir "$arch")/tests/shots/page-profiles.png"
[ -s out/icon.png ] || bash tools/run-demo.sh >/dev/null
[ -s "$shot" ] || bash tools/run-tests.sh -R config >/dev/null
mkdir -p docs
cp out/icon.png docs/icon.png
cp "$shot" docs/settings.png
echo "make-docs: docs/icon.png, docs/settings.png ($arch build)"
