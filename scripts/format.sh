#!/usr/bin/env bash
# Lays out every C++ file as .clang-format says; with --check it changes
# nothing and fails naming each file that is laid out otherwise.
cd "$(dirname "$0")/.." && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 $([ "${1:-}" = --check ] && echo --dry-run --Werror || echo -i)
