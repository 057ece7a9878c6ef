#!/usr/bin/env bash
# Builds what changed and starts the overlay on the user's X display.
source "$(dirname "$0")/lib.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: run this from a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  exit 1
fi
ensure_packages
build_preset normal build
# The program chooses what it runs on: its own overlay surface where the
# Wayland compositor offers a layer shell, else the X display (XWayland on
# other Wayland desktops).
exec "$ROOT/build/app/korivan-dsk" "$@"
