# Sourced by the run scripts after tools/arch.sh: a private X display (Xvfb) and one
# persistent wineserver per prefix in use, all stopped again when the script exits,
# is interrupted (Ctrl+C) or is killed.
#   qm_start_wine ARCH   selects the build's Wine settings and starts its wineserver
#   qm_stop_wine         stops the wineserver of the selected prefix and its programs

qm_xvfb_pid=
qm_wine_prefixes=()

qm_start_display() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    qm_xvfb_pid=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$qm_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "no free X display for Xvfb" >&2
  return 1
}

qm_start_wine() {
  qm_use_arch "$1"
  qm_wine_prefixes+=("$WINEPREFIX")
  "$WINESERVER" -p >/dev/null 2>&1 || true
  # The first program of a session starts Wine's background services, which inherit its
  # output and outlive it; started here with no output attached, they never hold a pipe
  # of a test runner open.
  "$QM_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

qm_stop_wine() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}

qm_stop_all() {
  local p
  for p in "${qm_wine_prefixes[@]}"; do
    WINEPREFIX=$p "$WINESERVER" -k >/dev/null 2>&1 || true
  done
  [ -n "$qm_xvfb_pid" ] && kill "$qm_xvfb_pid" >/dev/null 2>&1 || true
  qm_xvfb_pid=
}

qm_start_display
trap qm_stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
