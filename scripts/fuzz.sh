#!/usr/bin/env bash
# scripts/fuzz.sh MINUTES: runs every fuzz target (the clang build in
# build-fuzz/) for MINUTES, all at once, each from its corpus and seeds. The
# corpus (build-fuzz/tests/fuzz/*/corpus-*) grows from run to run; inputs
# that crash or hang a target go to build-fuzz/findings/. Prints each
# target's executions and findings; exits 1 when there are findings.
source "$(dirname "$0")/lib.sh"
[ $# -eq 1 ] || { echo "usage: scripts/fuzz.sh MINUTES" >&2; exit 1; }
seconds=$(awk -v m="$1" 'BEGIN { printf "%d", m * 60 }')
ensure_packages
build_preset fuzz build-fuzz
findings="$ROOT/build-fuzz/findings"
logs="$ROOT/build-fuzz/fuzz-logs"
mkdir -p "$findings" "$logs"

# Each target's command as the test command runs it (its corpus and seed
# folders), with the fixed seed and time left out.
mapfile -t commands < <(ctest --test-dir build-fuzz -L fuzz --show-only=json-v1 | python3 -c '
import json, sys
for test in json.load(sys.stdin)["tests"]:
    cmd = [a for a in test["command"] if not a.startswith(("-seed=", "-max_total_time="))]
    print("\t".join(cmd))')

pids=()
names=()
corpora=()
before=()
for line in "${commands[@]}"; do
  IFS=$'\t' read -r -a cmd <<<"$line"
  name="$(basename "${cmd[0]}")"
  names+=("$name")
  corpus=""
  for a in "${cmd[@]:1}"; do [[ "$a" == -* ]] || { corpus="$a"; break; }; done
  corpora+=("$corpus")
  before+=("$(ls "$corpus" | wc -l)")
  QT_QPA_PLATFORM=offscreen "${cmd[0]}" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$findings/$name-" "${cmd[@]:1}" >"$logs/$name.log" 2>&1 &
  pids+=($!)
done
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT

status=0
for i in "${!pids[@]}"; do
  rc=0
  wait "${pids[$i]}" || rc=$?
  name="${names[$i]}"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -1)
  found=$(ls "$findings" | grep -c "^$name-" || true)
  after=$(ls "${corpora[$i]}" | wc -l)
  echo "$name: ${runs:-?} executions in $1 minutes, corpus ${before[$i]} -> $after files, exit $rc," \
    "findings $found (log build-fuzz/fuzz-logs/$name.log)"
  [ "$rc" -eq 0 ] && [ "$found" -eq 0 ] || status=1
done
trap - EXIT
exit "$status"
