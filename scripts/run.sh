#!/usr/bin/env bash
# Builds TAVU and starts it; arguments are passed to the program (for example
# --simulate res/simulate/demo.ini).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVU_TESTS=OFF -DTAVU_BENCH=OFF
cmake --build build-run --target tavu
exec ./build-run/src/tavu "$@"
