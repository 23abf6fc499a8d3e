# Shared Wine set-up for the end-to-end tests: one 32-bit prefix per run,
# no debug chatter, and a virtual display when there is none.
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${SETUP_WINEPREFIX:-${TMPDIR:-/tmp}/setup-wine-prefix}"

wine_prepare() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wine_display wineboot -i >/dev/null 2>&1 || true
    # Without a window manager, closing windows stalls unless Wine manages none.
    wine_display wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wine_display wineserver -w || true
  fi
}

wine_display() {
  if [ -n "${DISPLAY:-}" ]; then
    "$@"
  else
    xvfb-run -a "$@"
  fi
}

# Runs a Windows program and returns its exit code (low 8 bits).
wine_run() {
  wine_prepare
  wine_display wine "$@"
}
