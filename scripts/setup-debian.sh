#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, skipping those
# already present. Runs apt-get as root (directly, or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3 ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev
  libpng-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core
  python3-scipy
  libx11-dev xvfb xdotool
  clang libclang-rt-14-dev libfuzzer-14-dev
  pybind11-dev python3-dev python3-numpy python3-dask python3-distributed
)
if [ "${QELV_WITH_WINDOWS:-1}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-win32 mingw-w64-tools wine wine64 libwine-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" != 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
