#!/usr/bin/env bash
# Every test: the normal build (unit, widget and end-to-end tests), the
# sanitizer build (unit and widget tests, then two minutes of random use of
# the whole program), a short run of each fuzz target,
# and the Windows backend cross-built and tested under wine.
source "$(dirname "$0")/lib.sh"
ensure_packages

# The Windows cross build needs little processor time and mostly waits on
# wine, so it runs beside the other stages; its output comes at the end.
win_log="$(mktemp)"
"$ROOT/scripts/test-win.sh" >"$win_log" 2>&1 &
win_job=$!
trap 'kill "$win_job" 2>/dev/null || true; rm -f "$win_log"' EXIT

echo "== Build and test"
configure_build build
ctest --test-dir build -LE bench --output-on-failure -j "$JOBS"

echo "== Sanitizer build (ASan + UBSan)"
configure_build build-asan -DKORIVAN_SANITIZE=ON -DKORIVAN_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan -L unit --output-on-failure -j "$JOBS"

echo "== Soak (two minutes of random use of the sanitizer build)"
# One known seed, so that the test command gives the same actions every run
# and a red run is a change of the program; long runs of scripts/soak.sh take
# fresh seeds to explore.
"$ROOT/scripts/soak.sh" 2 3624054295
# The scenarios that keep the soak's findings mended, on the same build.
ctest --test-dir build-asan -L soak --output-on-failure

if ls "$ROOT"/tests/fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
  echo "== Fuzz targets (short run)"
  configure_build build-fuzz -DKORIVAN_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo
  ctest --test-dir build-fuzz -L fuzz --output-on-failure
fi

echo "== Windows backend (mingw-w64 cross build, tests under wine)"
win_rc=0
wait "$win_job" || win_rc=$?
cat "$win_log"
exit "$win_rc"
