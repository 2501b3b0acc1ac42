#!/usr/bin/env bash
# Fails when a tracked C or C++ file is not laid out as .clang-format says; prints which.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format-14 --dry-run --Werror
echo "check-format: every C and C++ file follows .clang-format"
