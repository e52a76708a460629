#!/usr/bin/env bash
# Builds both DLLs in Release and writes the packages a user drops into the dock:
# dist/quillmere-<version>-win32.zip and dist/quillmere-<version>-win64.zip, each holding
# Quillmere/quillmere.dll (linked stripped), Quillmere/icons/ and Quillmere/README.txt. The
# version is the one in the DLL's version resource. Nothing needs Wine. A failed build
# stops here with the compiler's messages, and leaves no zip behind.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh >/dev/null
. tools/arch.sh
mkdir -p dist
rm -f dist/quillmere-*.zip dist/*.part
for arch in $QM_ALL_ARCHES; do
  dir=build/release-$arch
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(qm_toolchain "$arch")" \
      -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF -DCMAKE_SHARED_LINKER_FLAGS_RELEASE=-s >/dev/null
  fi
  echo "package: building $arch (Release) in $dir"
  cmake --build "$dir" --target quillmere
  machine=i386
  [ "$arch" = win64 ] && machine=x86-64
  stage=$dir/package
  rm -rf "$stage"
  mkdir -p "$stage"
  # Linked stripped and without a time stamp (strip would add one), so the same sources
  # give the same bytes.
  cp "$dir/quillmere.dll" "$stage/quillmere.dll"
  /usr/bin/python3 tools/dllinfo.py check --machine "$machine" "$stage/quillmere.dll"
  version=$(/usr/bin/python3 tools/dllinfo.py version "$stage/quillmere.dll")
  sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" tools/package-readme.txt \
    | sed 's/$/\r/' > "$stage/README.txt"
  zip=dist/quillmere-$version-$arch.zip
  rm -f "$zip"
  python3 tools/package.py "$zip.part" \
    Quillmere/quillmere.dll="$stage/quillmere.dll" \
    Quillmere/README.txt="$stage/README.txt" \
    Quillmere/icons/background.png=src/resources/icons/background.png \
    Quillmere/icons/menu.png=src/resources/icons/menu.png
  mv "$zip.part" "$zip"
  echo "package: $zip"
done
