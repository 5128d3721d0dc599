#!/usr/bin/env bash
# One entry point for newcomers and CI. On a fresh Debian 12 machine each command
# first installs the packages it needs (scripts/setup-debian.sh).
#
#   ./dev.sh sample   build, then run the command-line tool on the bundled recording
#   ./dev.sh test     build and run the whole test suite, then again under
#                     AddressSanitizer and UndefinedBehaviorSanitizer
#   ./dev.sh build    build only (build/release)
#   ./dev.sh bench    build and run the benchmarks
#   ./dev.sh fuzz     build the libFuzzer harnesses (clang, AddressSanitizer and
#                     UndefinedBehaviorSanitizer) and run each for 60 s
#                     (QELV_FUZZ_SECONDS to change); `test` runs each for a few
#                     seconds on its seed corpus when clang is installed
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {  # dir, extra cmake arguments... [--target T]
  local dir=$1; shift
  local args=() target=()
  while [ $# -gt 0 ]; do
    if [ "$1" = --target ]; then target=(--target "$2"); shift 2; else args+=("$1"); shift; fi
  done
  cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs" "${target[@]}"
}

release() { configure_and_build build/release -DCMAKE_BUILD_TYPE=Release; }

fuzzers_available() {
  command -v clang++ >/dev/null && ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1
}

fuzz() {  # seconds per harness
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQELV_FUZZ=ON \
    -DQELV_SANITIZE=address,undefined -DQELV_BUILD_TESTS=OFF -DQELV_BUILD_BENCH=OFF >/dev/null
  cmake --build build/fuzz -j "$jobs" --target fuzz_dispatch fuzz_registry_text fuzz_typelib fuzz_resources \
    fuzz_arguments fuzz_display_stream
  fuzz/run.sh build/fuzz "$1"
}

cmd=${1:-test}
scripts/setup-debian.sh
case "$cmd" in
  build)
    release ;;
  test)
    release
    ctest --test-dir build/release --output-on-failure -j "$jobs"
    configure_and_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQELV_SANITIZE=address,undefined \
      -DQELV_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
    if fuzzers_available; then
      fuzz "${QELV_FUZZ_SMOKE_SECONDS:-5}"
    else
      echo "fuzz harnesses skipped: clang or libFuzzer not installed"
    fi
    # Clang's AddressSanitizer also sees a use after scope between two locals of
    # one function (an object's destructor reaching a local destroyed before it),
    # which GCC's does not; the transform tests run under it too.
    CC=clang CXX=clang++ configure_and_build build/sanitize-clang -DCMAKE_BUILD_TYPE=Debug \
      -DQELV_SANITIZE=address,undefined -DQELV_BUILD_BENCH=OFF --target transform_tests
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build/sanitize-clang --output-on-failure -j "$jobs" -L transform ;;
  sample)
    release
    out=build/sample-out.wav
    build/release/bin/sonalter share/samples/voice.wav "$out" Normalize 90 true Fade 100 30
    echo "Wrote $out" ;;
  fuzz)
    fuzzers_available || { echo "the fuzz harnesses need clang and libfuzzer-14-dev" >&2; exit 1; }
    fuzz "${QELV_FUZZ_SECONDS:-60}" ;;
  bench)
    release
    for b in build/release/bin/bench_*; do "$b"; done ;;
  *)
    echo "usage: $0 [test|sample|build|bench|fuzz]" >&2; exit 2 ;;
esac
