#!/usr/bin/env bash
# The memory soak at full length: 100 000 calls of each working method through
# IDispatch::Invoke, a fresh object every 1 000 calls; prints the resident size
# after each method and the growth. Builds memory_soak in build/release first.
#   bench/memory_soak.sh [CALLS_PER_METHOD [CALLS_PER_OBJECT [SAMPLES]]]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target memory_soak >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
exec build/release/bin/memory_soak "${1:-100000}" "${2:-1000}" "${3:-1024}"
