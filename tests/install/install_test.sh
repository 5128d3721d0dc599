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

# A second project taking the package early-bound: header, identifiers, version.
early=$(dirname "$0")/early-bound
cmake -S "$early" -B "$work/early" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/early.log" \
  || { cat "$work/early.log"; exit 1; }
cmake --build "$work/early" >>"$work/early.log" 2>&1 || { cat "$work/early.log"; exit 1; }
"$work/early/early-bound-consumer" | tee "$work/out.txt"
grep -q "early-bound ArrayFrequency 44100" "$work/out.txt"
# A version the package does not offer is refused at configure time.
mkdir -p "$work/too-new"
sed 's/find_package(QelvSonalter2 2.0/find_package(QelvSonalter2 3.0/' "$early/CMakeLists.txt" >"$work/too-new/CMakeLists.txt"
cp "$early/main.cpp" "$work/too-new/"
if cmake -S "$work/too-new" -B "$work/too-new/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
  echo "a package of version 2 satisfied a request for 3"; exit 1
fi

"$prefix/bin/qelv-regsvr" /u /s "$prefix/lib/qelvsonalter2/QelvSonalter2.so"
if grep -q "QelvSonalter2.Sonalter2" "$QELV_REGISTRY"; then echo "entries left after unregistration"; exit 1; fi
echo "install test passed"
