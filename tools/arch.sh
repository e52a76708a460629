# Sourced by the other scripts: which Windows builds exist, which of them this machine
# can run, and the Wine settings for each. Defines functions only; changes nothing.
#
# Two builds, always: win32 (i686, the product for the 32-bit dock) and win64 (x86_64,
# for 64-bit docks and for machines that cannot run 32-bit Linux programs). A win32
# program needs the 32-bit Wine loader, which is itself an i386 Linux program: where the
# kernel's 32-bit emulation is off, it fails with "Exec format error". Debian's
# /usr/bin/wine picks that loader whenever it is installed, so every script names its
# loader explicitly.
#
# QM_PREFIX_ROOT moves the Wine prefixes (default ~/.local/share/quillmere): separate
# roots let two checkouts run their suites side by side. QM_ARCHES=win64 makes the
# scripts behave as on a machine without 32-bit support.

QM_ALL_ARCHES="win32 win64"
QM_PREFIX_ROOT=${QM_PREFIX_ROOT:-$HOME/.local/share/quillmere}

# Succeeds when this machine can start i386 Linux programs.
qm_can_start_i386() {
  [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Succeeds when the 32-bit Wine loader is installed and starts here.
qm_can_run32() {
  qm_can_start_i386 || return 1
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The builds this machine can run, in testing order.
qm_runnable_arches() {
  if [ -n "${QM_ARCHES:-}" ]; then
    echo "$QM_ARCHES"
  elif qm_can_run32; then
    echo "win32 win64"
  else
    echo "win64"
  fi
}

# Why the list above is what it is, in one line for the scripts' first words.
qm_runnable_reason() {
  if [ -n "${QM_ARCHES:-}" ]; then
    echo "QM_ARCHES is set to '$QM_ARCHES'"
  elif qm_can_run32; then
    echo "this machine runs 32-bit programs"
  else
    if qm_can_start_i386; then
      echo "the 32-bit Wine loader (wine32) is not installed or does not start"
    else
      echo "this machine cannot run 32-bit Linux programs (no i386 loader, or the kernel's 32-bit emulation is off)"
    fi
  fi
}

# The build to use for one-build jobs (the demo, the benchmarks): the product's own
# 32-bit build where it runs, else the 64-bit one.
qm_preferred_arch() {
  local arches
  arches=$(qm_runnable_arches)
  echo "${arches%% *}"
}

qm_build_dir() { echo "build/$1"; }

qm_toolchain() {
  case "$1" in
    win32) echo cmake/mingw-i686.cmake ;;
    win64) echo cmake/mingw-x86_64.cmake ;;
  esac
}

qm_compiler_prefix() {
  case "$1" in
    win32) echo i686-w64-mingw32 ;;
    win64) echo x86_64-w64-mingw32 ;;
  esac
}

# Exports the Wine settings for one build: its prefix, the loader that runs its programs
# (QM_WINE) and the wineserver. The 64-bit wineserver serves both kinds of prefix, so it
# is preferred wherever it is installed.
qm_use_arch() {
  QM_ARCH=$1
  case "$1" in
    win32)
      export WINEPREFIX="$QM_PREFIX_ROOT/wine" WINEARCH=win32
      QM_WINE=/usr/lib/wine/wine
      unset WINELOADER
      ;;
    win64)
      export WINEPREFIX="$QM_PREFIX_ROOT/wine64" WINEARCH=win64
      QM_WINE=/usr/lib/wine/wine64
      export WINELOADER=$QM_WINE
      ;;
    *)
      echo "unknown build '$1'" >&2
      return 1
      ;;
  esac
  if [ -x /usr/lib/wine/wineserver64 ]; then
    export WINESERVER=/usr/lib/wine/wineserver64
  else
    export WINESERVER=/usr/lib/wine/wineserver32
  fi
  export QM_ARCH QM_WINE WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

# A Linux path as the Windows programs see it (the prefix maps Z: to the root).
qm_winpath() {
  local p
  p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  printf 'Z:%s\n' "${p//\//\\}"
}
