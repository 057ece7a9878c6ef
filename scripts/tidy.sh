#!/usr/bin/env bash
# The checks of .clang-tidy over every source file of the normal build
# (build/, configured by scripts/run.sh or scripts/test.sh); fails on any
# finding. Slow: a minute or more a file on a loaded machine.
source "$(dirname "$0")/lib.sh"
ensure_packages "$ROOT/scripts/packages/lint.txt"
[ -f build/compile_commands.json ] || build_preset normal build
# Generated sources (moc, wayland-scanner) are not ours to tidy.
run-clang-tidy-14 -p build -quiet -j "$JOBS" "^$ROOT/(app|dialogs|drawing|imaging|platform|portal|settings|widgets|resources|tools|tests|bench)/"
