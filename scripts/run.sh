#!/usr/bin/env bash
# Builds what changed and starts the overlay on the user's X display.
source "$(dirname "$0")/lib.sh"
if [ -z "${DISPLAY:-}" ]; then
  echo "No X display: run this from a desktop session (DISPLAY is not set)." >&2
  exit 1
fi
ensure_packages
configure_build build
# The overlay's pass-through and top-most placement are X11 services; under a
# Wayland session this runs it on XWayland.
export QT_QPA_PLATFORM=xcb
exec "$ROOT/build/app/korivan-dsk" "$@"
