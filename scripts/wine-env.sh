# Sourced by the scripts that run Windows programs. It chooses the Wine that this
# machine can run (wine_route), and makes a fresh prefix for it in a temporary
# folder with a persistent wineserver and an X display (Xvfb when there is none).
# Call wine_env_up first and wine_env_down at the end.
#
# Two routes:
#   32  the 32-bit build (Volubra.qrv as the host loads it) under 32-bit Wine;
#   64  the 64-bit build under 64-bit Wine, for machines whose kernel cannot run
#       32-bit programs (32-bit Wine fails there with "Exec format error").
# VOLUBRA_WINE_ROUTE=64 (or 32) forces a route; otherwise a probe decides.

# Exit status 0 when this machine's kernel itself runs i386 programs. The probe is a
# 96-byte static i386 ELF program that exits with 42. An i386 handler registered with
# binfmt_misc (an emulator) would make the probe pass, yet 32-bit Wine is not usable
# under emulation, so such a machine counts as one that cannot.
wine_can_run_i386() {
  local reg
  if [ "$(cat /proc/sys/fs/binfmt_misc/status 2>/dev/null)" = enabled ]; then
    for reg in /proc/sys/fs/binfmt_misc/*; do
      case "${reg##*/}" in register|status) continue ;; esac
      grep -qx enabled "$reg" 2>/dev/null || continue
      # The ELF header of an i386 program: class 1, e_machine 3 at byte 18.
      grep -Eq '^magic 7f454c4601.{26}0300' "$reg" 2>/dev/null && return 1
    done
  fi
  local probe rc=0
  probe=$(mktemp /tmp/volubra-i386-probe.XXXXXX) || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ "$rc" = 42 ]
}

# Prints 32 or 64: the route this machine takes.
wine_route() {
  case "${VOLUBRA_WINE_ROUTE:-}" in
    32|64) echo "$VOLUBRA_WINE_ROUTE"; return ;;
    "") ;;
    *) echo "VOLUBRA_WINE_ROUTE must be 32 or 64, not '$VOLUBRA_WINE_ROUTE'" >&2; return 2 ;;
  esac
  if wine_can_run_i386; then echo 32; else echo 64; fi
}

# The CMake preset whose Windows programs a route runs.
wine_preset() { [ "$1" = 64 ] && echo windows64 || echo windows; }

wine_env_up() {
  WINE_ENV_ROUTE=${WINE_ENV_ROUTE:-$(wine_route)}
  WINE_ENV_TMP=$(mktemp -d /tmp/volubra-wine.XXXXXX)
  export WINEDEBUG=-all
  export WINEPREFIX="$WINE_ENV_TMP/prefix"
  if [ "$WINE_ENV_ROUTE" = 64 ]; then
    # With wine32 installed, Debian's `wine` starts the 32-bit loader: put a `wine`
    # of the 64-bit loader first on PATH (winepath and wineboot call wine-stable).
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    mkdir -p "$WINE_ENV_TMP/bin"
    local name
    for name in wine wine-stable wine64; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$WINE_ENV_TMP/bin/$name"
      chmod +x "$WINE_ENV_TMP/bin/$name"
    done
    export PATH="$WINE_ENV_TMP/bin:$PATH"
  else
    export WINEARCH=win32
  fi
  # No browser engine, no .NET, and no sound drivers: every message box beeps, and a
  # sound driver without a sound server waits seconds for it. No debugger either: a
  # crash in a set-up step would otherwise wait for it forever.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d;winedbg.exe=d"
  if [ -z "${DISPLAY:-}" ] || [ -n "${VOLUBRA_FORCE_XVFB:-}" ]; then
    local n
    for n in $(seq 90 140); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
      WINE_ENV_XVFB=$!
      WINE_ENV_OUTER_DISPLAY=${DISPLAY:-}
      export DISPLAY=":$n"
      # A bare Xvfb has no X resources, and without any Xlib looks for its resource
      # files again on every lookup, dozens of times for each control Wine draws: an
      # empty resource file found once ends that.
      : >"$WINE_ENV_TMP/Xresources"
      export XENVIRONMENT="$WINE_ENV_TMP/Xresources"
      break
    done
    local i
    for i in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
  fi
  echo "wine: route $WINE_ENV_ROUTE, $(wine --version 2>/dev/null) ($WINEARCH prefix)"
  timeout 300 wineboot -i >/dev/null 2>&1 || true
  # Debian's Wine finds none of its own fonts through the new prefix: without Marlett
  # (from fonts-wine) in the prefix's Fonts folder, caption buttons show as "0 1 r".
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # Every window lives in one virtual desktop: without a window manager, Wine's X11
  # driver would wait two seconds for each hidden window to be withdrawn, and the
  # screenshots get Wine's own window frames. The keys go in while the server of
  # wineboot's session still runs; once it has ended (and with it Wine's own
  # start-up programs, which would hold the desktop), a persistent server takes
  # over, so that no test waits for one to start.
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Default"\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="1280x800"\n' \
    >"$WINE_ENV_TMP/desktop.reg"
  wine regedit /S "$(winepath -w "$WINE_ENV_TMP/desktop.reg")" >/dev/null 2>&1 || true
  timeout 120 wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  wine_desktop_up
}

# The desktop process starts with the first window a program makes and outlives it;
# started from a test under CTest it would hold CTest's output pipe open until the
# test's timeout. Start it here, detached from every pipe, and wait for its window:
# Wine's own start-up programs can still hold the desktop and make it exit at once,
# so it is started again until its window stands.
wine_desktop_up() {
  local try i
  for try in 1 2 3 4 5; do
    (setsid wine explorer.exe /desktop >/dev/null 2>&1 </dev/null &)
    for i in $(seq 1 50); do
      if xwininfo -root -tree 2>/dev/null | grep -q '"Default - Wine desktop"'; then
        return 0
      fi
      sleep 0.1
    done
  done
  echo "wine: the virtual desktop did not come up; windows will be slow" >&2
}

wine_env_down() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  if [ -n "${WINE_ENV_XVFB:-}" ]; then
    kill "$WINE_ENV_XVFB" 2>/dev/null || true
    # The display is gone with its server: a later wine_env_up in this shell, or a
    # script started from it, must not take it for a running one.
    if [ -n "${WINE_ENV_OUTER_DISPLAY:-}" ]; then export DISPLAY=$WINE_ENV_OUTER_DISPLAY; else unset DISPLAY; fi
    unset XENVIRONMENT WINE_ENV_XVFB WINE_ENV_OUTER_DISPLAY
  fi
  [ -n "${WINE_ENV_TMP:-}" ] && rm -rf "$WINE_ENV_TMP"
  WINE_ENV_TMP=""
}
