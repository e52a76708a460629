#!/usr/bin/env bash
# Makes the README's pictures in docs/ from real runs, never by hand: the dock's icon
# from the main job (out/icon.png), the settings sheet's profiles page as the config
# tests photograph it and the icon with new items as the stand-in dock showed it after a
# restart in the host tests (both in build/<arch>/tests/shots/). Runs the demo and those
# tests first when their pictures are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/arch.sh
arch=$(qm_preferred_arch)
shot="$(qm_build_dir "$arch")/tests/shots/page-profiles.png"
badge="$(qm_build_dir "$arch")/tests/shots/icon-new-items.png"
[ -s out/icon.png ] || bash tools/run-demo.sh >/dev/null
[ -s "$shot" ] || bash tools/run-tests.sh -R config >/dev/null
[ -s "$badge" ] || bash tools/run-tests.sh -R host >/dev/null
mkdir -p docs
cp out/icon.png docs/icon.png
cp "$shot" docs/settings.png
cp "$badge" docs/new-items.png
echo "make-docs: docs/icon.png, docs/settings.png, docs/new-items.png ($arch build)"
