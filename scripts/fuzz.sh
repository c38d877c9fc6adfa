#!/usr/bin/env bash
# Builds the client's fuzz targets (clang's libFuzzer, with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs one of them for a while.
#
#   scripts/fuzz.sh NAME SECONDS   run fuzz_NAME (description, ldif, names,
#                                  entrypoints) for SECONDS
#   scripts/fuzz.sh --build        only build them (scripts/test.sh does, and
#                                  runs each briefly through ctest)
#
# It starts from the seed corpus fuzz/corpus/NAME with the dictionary
# fuzz/NAME.dict; new inputs go to build-fuzz/fuzz/new/NAME. A crash is
# written to build-fuzz/fuzz/NAME-crash-<hash>: once mended, copy it into
# fuzz/corpus/NAME (every test run replays the corpus) and add a test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NW_FUZZ_BUILD_DIR:-$root/build-fuzz}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNW_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "$(nproc)"
[ "${1:-}" = "--build" ] && exit 0

name="${1:-}"
seconds="${2:-}"
[ -x "$build/bin/fuzz_$name" ] || { echo "usage: $0 NAME SECONDS (NAME: description, ldif, names, entrypoints) | --build" >&2; exit 2; }
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "SECONDS must be a whole number" >&2; exit 2; }
mkdir -p "$build/fuzz/new/$name"
[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ] && export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
exec "$build/bin/fuzz_$name" -max_total_time="$seconds" -max_len=4096 -timeout=20 -print_final_stats=1 \
  -dict="$root/fuzz/$name.dict" -artifact_prefix="$build/fuzz/$name-" \
  "$build/fuzz/new/$name" "$root/fuzz/corpus/$name"
