#!/usr/bin/env bash
# Builds the library, the services library and the tool, then runs the installation demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tavctl
./build/default/out/tavctl demo "$@"
