#!/usr/bin/env bash
# Installs what building and running Quillmere needs on a Debian machine and prepares
# the Wine prefix. Safe to run again: every step checks first.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/quillmere/wine}
export WINEARCH=win32 WINEDEBUG=-all

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v wine >/dev/null || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
[ -d /usr/share/fonts/truetype/wine ] || [ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating the Wine prefix in $WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # No display and no Mono/Gecko download prompts while the prefix is made.
  env -u DISPLAY WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
for d in /usr/share/fonts/truetype/wine /usr/share/wine/fonts; do
  [ -d "$d" ] || continue
  for f in "$d"/*.ttf; do
    [ -e "$f" ] || continue
    [ -f "$fonts/$(basename "$f")" ] || cp "$f" "$fonts/"
  done
done
