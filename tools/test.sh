#!/usr/bin/env bash
# Builds Vesk and runs every test: the debug build (warnings as errors) and the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_deps.sh
cmake --workflow --preset ci
cmake --workflow --preset asan
