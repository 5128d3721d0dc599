#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds the example host against the
# installed CMake package, registers the module into a fresh registry and runs
# the host through activation by program identifier.
#   install_test.sh BUILD_DIR EXAMPLE_SOURCE_DIR
set -euo pipefail
build=$1
example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export QELV_REGISTRY=$work/registry

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/qelv-regsvr lib/libqelvsonalter2-platform.so lib/qelvsonalter2/QelvSonalter2.so \
         include/qelvsonalter2/platform.h include/qelvsonalter2/QelvSonalter2.h \
         share/qelvsonalter2/QelvSonalter2.idl lib/cmake/QelvSonalter2/QelvSonalter2Config.cmake; do
  [ -e "$prefix/$f" ] || { echo "missing from the install: $f"; exit 1; }
done

cmake -S "$example" -B "$work/host" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" \
  || { cat "$work/configure.log"; exit 1; }
grep -q "QelvSonalter2 module: $prefix/lib/qelvsonalter2/QelvSonalter2.so" "$work/configure.log" \
  || { echo "the package does not name the module"; cat "$work/configure.log"; exit 1; }
cmake --build "$work/host" >/dev/null

# Not registered yet: a clear failure.
if "$work/host/late-bound-host" >"$work/out.txt"; then echo "ran without registration"; exit 1; fi
grep -q "is not registered" "$work/out.txt"

"$prefix/bin/qelv-regsvr" /s "$prefix/lib/qelvsonalter2/QelvSonalter2.so"
grep -q "QelvSonalter2.Sonalter2" "$QELV_REGISTRY"
"$work/host/late-bound-host" | tee "$work/out.txt"
grep -q "progress 0%" "$work/out.txt"
grep -q "transform finished" "$work/out.txt"
grep -q "sample 500 is now 150" "$work/out.txt"
grep -q 'Invert on one sample: 0x80020009 (0x8004030B) "Invalid parameter(argument)." from QelvSonalter2.Sonalter2.2' "$work/out.txt"

"$prefix/bin/qelv-regsvr" /u /s "$prefix/lib/qelvsonalter2/QelvSonalter2.so"
if grep -q "QelvSonalter2.Sonalter2" "$QELV_REGISTRY"; then echo "entries left after unregistration"; exit 1; fi
echo "install test passed"
