# Sourced by the scripts: a virtual display and a warm wineserver for one run.
# Honours WINEPREFIX and DISPLAY when they are set, so runs can be kept apart.

export WINEDEBUG=-all
export LC_ALL=zh_CN.UTF-8
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}  # no Mono/Gecko prompts

_xvfb_pid=""
stop_display_and_wine() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$_xvfb_pid" ] && kill "$_xvfb_pid" >/dev/null 2>&1 || true
}

start_display_and_wine() {
  if [ -z "${UPDATER_KEEP_DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    export DISPLAY=":$n"
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    _xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  trap stop_display_and_wine EXIT
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A new prefix: wineboot's exit status is not reliable, the prefix's registry is.
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w || true
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine prefix $WINEPREFIX could not be made" >&2; return 1; }
  fi
  wineserver -p
  # Without a window manager (Xvfb), Wine waits about 2 s whenever a managed window is
  # hidden or destroyed; unmanaged windows close at once.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  # Warm-up with no pipes attached: Wine's helpers must not inherit the runner's pipes.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
