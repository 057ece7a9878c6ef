#!/usr/bin/env bash
# Every test: the normal build (unit, widget and end-to-end tests), the
# sanitizer build (unit and widget tests, then two minutes of random use of
# the whole program), a short run of each fuzz target,
# and the Windows backend cross-built and tested under wine.
source "$(dirname "$0")/lib.sh"
ensure_packages

echo "== Layering"
python3 "$ROOT/scripts/check_layers.py"

# The Windows cross build needs little processor time and mostly waits on
# wine, so it runs beside the other stages; its output comes at the end.
win_log="$(mktemp)"
"$ROOT/scripts/test-win.sh" >"$win_log" 2>&1 &
win_job=$!
trap 'kill "$win_job" 2>/dev/null || true; rm -f "$win_log"' EXIT

echo "== Build and test"
# A warning in the test command's builds fails it.
werror=-DKORIVAN_WERROR=ON
build_preset normal build $werror
ctest --preset normal -j "$JOBS"

echo "== Sanitizer build (ASan + UBSan)"
build_preset asan build-asan $werror
ctest --preset asan -j "$JOBS"

echo "== Soak (two minutes of random use of the sanitizer build)"
# One known seed, so that the test command gives the same actions every run
# and a red run is a change of the program; long runs of scripts/soak.sh take
# fresh seeds to explore.
"$ROOT/scripts/soak.sh" 2 3624054295
# The scenarios that keep the soak's findings mended, on the same build.
ctest --test-dir build-asan -L soak --output-on-failure

if ls "$ROOT"/tests/fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
  echo "== Fuzz targets (short run)"
  build_preset fuzz build-fuzz $werror
  ctest --preset fuzz
fi

echo "== Windows backend (mingw-w64 cross build, tests under wine)"
win_rc=0
wait "$win_job" || win_rc=$?
cat "$win_log"
exit "$win_rc"
