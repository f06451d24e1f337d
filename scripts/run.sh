#!/usr/bin/env bash
# Installs what Morvane needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

cmake --preset release
cmake --build --preset release -j "$(nproc)" --target morvane
exec ./build/release/app/morvane
