# Sourced by the scripts that run Windows programs: a fresh 32-bit Wine prefix in
# a temporary folder, a persistent wineserver, and an X display (Xvfb when there is
# none). Call wine_env_up first and wine_env_down at the end.

wine_env_up() {
  export WINEDEBUG=-all
  export WINEARCH=win32
  # No browser engine, no .NET, and no sound drivers: every message box beeps, and a
  # sound driver without a sound server waits seconds for it.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d"
  WINE_ENV_TMP=$(mktemp -d /tmp/volubra-wine.XXXXXX)
  export WINEPREFIX="$WINE_ENV_TMP/prefix"
  if [ -z "${DISPLAY:-}" ] || [ -n "${VOLUBRA_FORCE_XVFB:-}" ]; then
    local n
    for n in $(seq 90 140); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
      WINE_ENV_XVFB=$!
      export DISPLAY=":$n"
      break
    done
    local i
    for i in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
  fi
  timeout 300 wineboot -i >/dev/null 2>&1 || true
  timeout 120 wineserver -w || true
  wineserver -p >/dev/null 2>&1 || true
  # Every window lives in one virtual desktop: without a window manager, Wine's X11
  # driver would wait two seconds for each hidden window to be withdrawn, and the
  # screenshots get Wine's own window frames.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x800 /f >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
  wineserver -p >/dev/null 2>&1 || true
  # The desktop process starts with the first window a program makes and outlives it;
  # started from a test under CTest it would hold CTest's output pipe open until the
  # test's timeout. Start it here, detached from every pipe.
  (setsid wine explorer.exe /desktop >/dev/null 2>&1 </dev/null &)
  sleep 1
}

wine_env_down() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  if [ -n "${WINE_ENV_XVFB:-}" ]; then kill "$WINE_ENV_XVFB" 2>/dev/null || true; fi
  [ -n "${WINE_ENV_TMP:-}" ] && rm -rf "$WINE_ENV_TMP"
}
