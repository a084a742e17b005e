#!/usr/bin/env bash
# Builds Vesk (release) when needed and runs it with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install_deps.sh" >&2
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target vesk >&2
exec "$root/build/release/src/vesk" "$@"
