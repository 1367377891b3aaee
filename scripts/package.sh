#!/usr/bin/env bash
# Builds the Debian package tavu_VERSION_ARCH.deb in the top folder of the tree, then checks it
# with lintian. Installs what it needs with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh package

# Debian's hardening flags, as a packaged program is built.
flags="-O2 -g -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security"
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=None -DTAVU_TESTS=OFF -DTAVU_BENCH=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now"
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB)
deb=$(ls build-package/tavu_*.deb)
cp "$deb" .
echo "Built $(basename "$deb")"
# Errors fail the script; the warnings it shows are listed, with the reason they stay, in the
# README.
lintian --fail-on error "$(basename "$deb")"
