#!/usr/bin/env bash
# Takes the README's screenshots of the two windows under Wine in Xvfb, cropped to
# each window: take_screenshots.sh <windows build dir> <output dir> [PORT]
# The third, docs/screenshots/chat-session.png, is the host's window of
# scripts/demo.sh (out/screenshots/host.png), stored with
# `convert out/screenshots/host.png -strip PNG8:docs/screenshots/chat-session.png`,
# and docs/screenshots/transcript-menu.png likewise from out/screenshots/host-menu.png;
# PORT is the port in their title, which the settings dialog then shows too.
set -euo pipefail
build=${1:?windows build dir}
out=${2:?output dir}
port=${3:-}
here=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
. "$here/scripts/wine-env.sh"
VOLUBRA_FORCE_XVFB=1 wine_env_up
trap wine_env_down EXIT

shoot() { # mode file title [port]
  wine "$build/tests/ui/ui_screenshot_stage.exe" "$1" ${4:+"$4"} </dev/null >/dev/null 2>&1 &
  local stage=$!
  sleep 4
  local id
  id=$(xwininfo -root -tree | awk -v t="\"$3\"" 'index($0, t) { print $1; exit }')
  # In Wine's virtual desktop the window is no X window of its own: take the desktop
  # and trim its plain background away, which leaves the window with its frame.
  if [ -n "$id" ]; then import -window "$id" "$out/$2"; else import -window root "$out/$2"; fi
  convert "$out/$2" -trim +repage "$out/$2"
  wait "$stage" || true
}
shoot chat chat-window.png "Chat client - disconnected"
shoot settings connection-settings.png "Connection settings" "$port"
