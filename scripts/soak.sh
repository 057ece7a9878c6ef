#!/usr/bin/env bash
# scripts/soak.sh MINUTES [SEED] [--verbose] [--keep-going] [--only KINDS]: random but valid use of the
# sanitizer build for MINUTES, every step checked; the seed is printed, and
# the same seed gives the same actions. A failure keeps its screenshot and
# logs under build-asan/soak-failures/.
source "$(dirname "$0")/lib.sh"
[ $# -ge 1 ] || { echo "usage: scripts/soak.sh MINUTES [SEED] [--verbose] [--keep-going] [--only KINDS]" >&2; exit 1; }
minutes="$1"; shift
seed=()
if [ $# -ge 1 ] && [[ "$1" =~ ^[0-9]+$ ]]; then seed=(--seed "$1"); shift; fi
ensure_packages
configure_preset asan build-asan
cmake --build build-asan -j "$JOBS" --target korivan-dsk korivan_e2e_helper
# The Python the end-to-end tests use (it has pytest and PIL).
python="$(sed -n 's/^KORIVAN_E2E_PYTHON:FILEPATH=//p' build-asan/CMakeCache.txt)"
PYTHONDONTWRITEBYTECODE=1 exec "${python:-python3}" "$ROOT/tests/soak/soak.py" --minutes "$minutes" "${seed[@]}" \
  --program build-asan/app/korivan-dsk --helper build-asan/tests/e2e/korivan_e2e_helper \
  --artifacts build-asan/soak-failures "$@"
