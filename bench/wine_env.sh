# Wine set-up for the decoder timing under Wine: one 32-bit prefix per run,
# no debug chatter, and a virtual display when there is none.
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${SETUP_WINEPREFIX:-${TMPDIR:-/tmp}/setup-wine-prefix}"

# Exit code that tells ctest a test was skipped.
WINE_SKIPPED=77

# Some machines (virtual ones without 32-bit support in their kernel) cannot
# start a 32-bit program at all: Wine's loader then fails with "Exec format
# error" (126). There is nothing to test on such a machine; say so and skip.
wine_require() {
  local code=0
  wine --version >/dev/null 2>&1 || code=$?
  if [ "$code" -eq 126 ]; then
    echo "SKIPPED: this machine cannot run 32-bit programs (Wine's loader fails with exit 126)" >&2
    exit "$WINE_SKIPPED"
  fi
}

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
