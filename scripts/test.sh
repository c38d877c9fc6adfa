#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test: first the client's fuzz
# targets, each a fixed number of runs over its corpus (built with clang by
# scripts/fuzz.sh), then the whole suite.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NW_TEST_BUILD_DIR:-$root/build-test}"
fuzz="${NW_FUZZ_BUILD_DIR:-$build-fuzz}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNW_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"
NW_FUZZ_BUILD_DIR="$fuzz" bash "$root/scripts/fuzz.sh" --build
(cd "$fuzz" && ctest --output-on-failure -j "$(nproc)")
cd "$build"
ctest --output-on-failure -j "$(nproc)"
