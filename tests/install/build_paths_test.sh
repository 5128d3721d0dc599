#!/usr/bin/env bash
# The ways a user builds the project besides the developers' Ninja tree:
#   1. from a source folder whose path has spaces, into a build folder outside it
#      whose path has spaces too, with CMake's default generator; the source
#      folder must come out of it unchanged;
#   2. the Windows cross-build with CMake's default generator, in the same paths
#      (only the IDL and resource tools and the type library: compiling the
#      component for Windows is what the Wine tests do).
#   build_paths_test.sh SOURCE_DIR WORK_DIR
# WORK_DIR stays between runs so that ccache finds the same paths again.
set -euo pipefail
source_dir=$1
work=$2
src="$work/source with spaces"
build="$work/build with spaces"
win="$work/windows build with spaces"
jobs=$(nproc 2>/dev/null || echo 2)

# A copy of the tracked sources (or of everything but build output without git).
rm -rf "$src" && mkdir -p "$src"
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$source_dir" ls-files -z --cached --others --exclude-standard \
    | (cd "$source_dir" && xargs -0 cp --parents -t "$src" 2>/dev/null || true)
else
  (cd "$source_dir" && tar --exclude=./build --exclude=./.git -cf - .) | (cd "$src" && tar -xf -)
fi
[ -f "$src/CMakeLists.txt" ] || { echo "could not copy the sources"; exit 1; }
before=$(cd "$src" && find . | sort | sha256sum)

echo "== Linux module, default generator, paths with spaces, out of tree"
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQELV_BUILD_TESTS=OFF -DQELV_BUILD_BENCH=OFF \
  >"$work/linux-configure.log" || { cat "$work/linux-configure.log"; exit 1; }
grep -q "CMAKE_GENERATOR:INTERNAL=Unix Makefiles" "$build/CMakeCache.txt" \
  || { echo "expected the default generator"; exit 1; }
cmake --build "$build" --target QelvSonalter2 qelv-regsvr -j "$jobs" >"$work/linux-build.log" 2>&1 \
  || { tail -40 "$work/linux-build.log"; exit 1; }
[ -f "$build/lib/qelvsonalter2/QelvSonalter2.so" ] || { echo "no module built"; exit 1; }
# The module registers into a registry file at a path with spaces too.
QELV_REGISTRY="$work/registry with spaces" "$build/bin/qelv-regsvr" /s "$build/lib/qelvsonalter2/QelvSonalter2.so"
grep -q "QelvSonalter2.Sonalter2" "$work/registry with spaces"
rm -f "$work/registry with spaces"

if command -v x86_64-w64-mingw32-g++ >/dev/null && command -v x86_64-w64-mingw32-windres >/dev/null \
   && { command -v x86_64-w64-mingw32-widl >/dev/null || command -v widl >/dev/null; }; then
  echo "== Windows resources, default generator, paths with spaces"
  cmake -S "$src" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$work/windows-configure.log" || { cat "$work/windows-configure.log"; exit 1; }
  rm -rf "$win/module"  # a stale folder would hide a missing one
  cmake "$win" >/dev/null
  cmake --build "$win" --target qelv_windows_resources >"$work/windows-build.log" 2>&1 \
    || { tail -40 "$work/windows-build.log"; exit 1; }
  [ -s "$win/module/QelvSonalter2_res.o" ] || { echo "no Windows resources built"; exit 1; }
  [ -s "$win/typelib/QelvSonalter2.tlb" ] || { echo "no Windows type library built"; exit 1; }
else
  echo "== Windows resources skipped: MinGW-w64 not installed"
fi

after=$(cd "$src" && find . | sort | sha256sum)
[ "$before" = "$after" ] || { echo "the build wrote into the source folder"; exit 1; }
echo "build paths test passed"
