# Sourced by the run scripts: the Wine prefix, a private X display (Xvfb) and one
# persistent wineserver for the whole run, all stopped again when the script exits.
export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/quillmere/wine}
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

qm_xvfb_pid=
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

qm_stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$qm_xvfb_pid" ] && kill "$qm_xvfb_pid" >/dev/null 2>&1 || true
}

qm_start_display
trap qm_stop_all EXIT
wineserver -p >/dev/null 2>&1 || true
# The first program of a session starts Wine's background services, which inherit its
# output and outlive it; started here with no output attached, they never hold a pipe
# of a test runner open.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
