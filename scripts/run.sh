#!/usr/bin/env bash
# Builds what changed and starts the program on the current display.
source "$(dirname "$0")/lib.sh"
ensure_packages
configure_build build
exec "$ROOT/build/app/korivan-dsk" "$@"
