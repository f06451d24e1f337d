#!/usr/bin/env bash
# Installs what Morvane needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

cmake --preset release
# The whole preset: the program and what installing or packaging it takes.
cmake --build --preset release -j "$(nproc)"
exec ./build/release/app/morvane
