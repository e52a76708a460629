#!/usr/bin/env bash
# Makes the README's pictures in docs/ from real runs, never by hand: the dock's icon
# from the main job (out/icon.png); the settings sheet, its Headlines page and the
# profile editor read off the X screen while the stand-in dock has them open
# (tools/docs_pictures.py, as the screen check reads the screen), with the demo's feed
# as the profile; the icon with new items as the stand-in dock showed it after a restart
# in the host tests (build/<arch>/tests/shots/). Runs the demo and those tests first when
# their pictures are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/arch.sh
arch=$(qm_preferred_arch)
badge="$(qm_build_dir "$arch")/tests/shots/icon-new-items.png"
[ -s out/icon.png ] || bash tools/run-demo.sh >/dev/null
[ -s "$badge" ] || bash tools/run-tests.sh -R host >/dev/null
mkdir -p docs
cp out/icon.png docs/icon.png
cp "$badge" docs/new-items.png

. tools/winenv.sh
qm_start_wine "$arch"
work=$(mktemp -d)
trap 'rm -rf "$work"; qm_stop_all' EXIT
# The demo's settings (its profile, named by the feed's title) without the address of a
# server that is gone: the sheet shows them, nothing is fetched.
sed 's/^A0-RssFeedURL=.*/A0-RssFeedURL=http:\/\/127.0.0.1:9\/quillmere-news.xml/' out/demo.ini >"$work/docs.ini"
python3 tools/docs_pictures.py --wine "$QM_WINE" --dock "$(qm_build_dir "$arch")/dock" \
  --ini "$(qm_winpath "$work/docs.ini")" --out docs
echo "make-docs: docs/icon.png, docs/new-items.png, docs/settings.png, docs/headlines.png," \
  "docs/profile-editor.png ($arch build)"
