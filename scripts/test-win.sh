#!/usr/bin/env bash
# The Windows backend of platform/: cross-built with mingw-w64 (no Qt) into
# build-win/, its tests run under wine, headless, in a wine prefix of their
# own that is thrown away afterwards. The user's display, home and wine
# prefix are never touched.
source "$(dirname "$0")/lib.sh"
ensure_packages

# Debian's wine64 package alone puts wine outside PATH.
WINE="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
WINESERVER="$(command -v wineserver || echo /usr/lib/wine/wineserver)"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/korivan-wine.XXXXXX")"
stop_wine() {
  WINEPREFIX="$scratch/prefix" "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap stop_wine EXIT

wine_env() {
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch" WINEPREFIX="$scratch/prefix" \
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

# The null graphics driver: windows exist and stack without any display.
# Written before the prefix is made, which keeps it.
mkdir -m 700 "$scratch/prefix"
printf 'WINE REGISTRY Version 2\n\n[Software\\\\Wine\\\\Drivers]\n"Graphics"="null"\n' \
  >"$scratch/prefix/user.reg"

# Making the prefix and warming the server up overlap the build; a cold
# server makes every test start slow.
start=$SECONDS
( wine_env "$WINESERVER" -p >/dev/null 2>&1
  wine_env "$WINE" cmd /c exit >/dev/null 2>&1
  echo "   (wine prefix ready after $((SECONDS - start)) s)" ) &
prefix_job=$!

# -O1 without debug information builds GoogleTest in a third of the time of -O2 -g.
build_preset windows build-win
built=$((SECONDS - start))
wait "$prefix_job"
ready=$SECONDS
wine_env ctest --test-dir build-win --output-on-failure
echo "   (build ${built} s, tests $((SECONDS - ready)) s)"
