#!/usr/bin/env bash
# Every C and C++ file in the tree as .clang-format lays it out (clang-format from .venv, pinned by
# tools/ensure_env.sh so every machine formats alike). Prints the files that differ and fails.
# To fix them: git ls-files '*.c' '*.cpp' '*.h' '*.hpp' | xargs .venv/bin/clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.c' '*.cpp' '*.h' '*.hpp' | xargs .venv/bin/clang-format --dry-run --Werror
echo "format: $(git ls-files '*.c' '*.cpp' '*.h' '*.hpp' | wc -l) files as .clang-format lays them out"
