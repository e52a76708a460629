#!/usr/bin/env bash
# Installs what building and running Quillmere needs on a Debian machine and prepares
# the Wine prefixes. Safe to run again: every step checks first.
#
# Both cross compilers are always installed (both builds are always made). Wine: the
# 64-bit loader and a win64 prefix always; the 32-bit loader and a win32 prefix only
# where this machine can start i386 Linux programs, which is tried with the i386 C
# library's loader before Wine's 32-bit half is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/arch.sh

apt_updated=
apt_install() {
  echo "setup: installing $*"
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "$apt_updated" ]; then
    apt-get update -qq
    apt_updated=1
  fi
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v xwd >/dev/null || need+=(x11-apps)
[ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
[ -d /usr/share/fonts/truetype/wine ] || [ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
# zlib for both targets, linked statically into the DLL.
[ -f /usr/i686-w64-mingw32/lib/libz.a ] && [ -f /usr/x86_64-w64-mingw32/lib/libz.a ] || need+=(libz-mingw-w64-dev)
[ -x /usr/bin/python3 ] || need+=(python3)
# The native, sanitized build of the pure text functions and the fuzz targets.
command -v clang++ >/dev/null || need+=(clang)
# The sanitizers' and libFuzzer's runtimes (Debian's libclang-rt-dev pulls the one of
# the default clang, libclang-rt-14-dev on bookworm).
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.asan-x86_64.a >/dev/null 2>&1 &&
  ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
# The DLL checks read the PE files with pefile, under Debian's own Python.
/usr/bin/python3 -c 'import pefile' >/dev/null 2>&1 || need+=(python3-pefile)
# The load for the suite's runs on a busy machine (stress --cpu 2).
command -v stress >/dev/null || need+=(stress)
if [ ${#need[@]} -gt 0 ]; then
  apt_install "${need[@]}"
fi

# 32-bit Wine only where 32-bit programs start. The i386 C library comes first, so the
# check runs before anything large is installed; QM_ARCHES=win64 skips the attempt.
add_i386() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_updated=
  fi
}
if [ -z "${QM_ARCHES:-}" ] && [ "$(dpkg --print-architecture)" = amd64 ]; then
  if [ ! -x /lib/ld-linux.so.2 ]; then
    add_i386
    apt_install libc6:i386 || true
  fi
  # The loader may come from libc6-i386 without the i386 architecture being known to
  # dpkg: wine32:i386 needs it. Should wine32 still not install, only win64 runs here.
  if qm_can_start_i386 && ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    add_i386
    apt_install wine32:i386 || echo "setup: wine32 could not be installed; the 32-bit build will not run here"
  fi
fi
echo "setup: Wine builds that run here: $(qm_runnable_arches) ($(qm_runnable_reason))"

# A prefix per runnable build: created without a display and without the Mono and Gecko
# download prompts, then given the TrueType fonts (Tahoma among them) that Wine ships.
for arch in $(qm_runnable_arches); do
  (
    qm_use_arch "$arch"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "setup: creating the $arch Wine prefix in $WINEPREFIX"
      mkdir -p "$(dirname "$WINEPREFIX")"
      env -u DISPLAY WINEDLLOVERRIDES="mscoree,mshtml=" "$QM_WINE" wineboot -i >/dev/null 2>&1 || true
      "$WINESERVER" -w || true
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: could not create $WINEPREFIX" >&2; exit 1; }
    # Windows not managed by an X window manager: with none running (Xvfb), Wine would
    # otherwise wait about two seconds for one at every window that hides or closes.
    if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
      env -u DISPLAY "$QM_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >/dev/null 2>&1 || true
      timeout 30 "$WINESERVER" -w || true
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
  )
done
