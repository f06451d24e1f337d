#!/usr/bin/env bash
# Installs what the tests need, builds Morvane twice (optimised, and with
# AddressSanitizer + UBSan) and runs the whole test suite on both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh test

jobs=$(nproc)

cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" --label-exclude external
