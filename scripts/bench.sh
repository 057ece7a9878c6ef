#!/usr/bin/env bash
# Builds the benchmarks optimised and prints their figures. Extra arguments
# go to ctest, e.g. `scripts/bench.sh -R drawing`.
source "$(dirname "$0")/lib.sh"
ensure_packages "$ROOT"/scripts/packages/*.txt "$ROOT"/bench/system/reference.packages
build_preset bench build-bench
ctest --test-dir build-bench -L bench -V "$@"
