#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target murmo_bundle
exec build/dev/Murmo.app/Contents/MacOS/murmo "$@"
