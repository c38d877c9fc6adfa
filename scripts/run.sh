#!/usr/bin/env bash
# Installs what is missing, builds the viewer and starts it on the built-in
# demo network (NWCLIENT_NETWORK=file selects another network description).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NW_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNW_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target dsviewer
exec "$build/bin/dsviewer" "$@"
