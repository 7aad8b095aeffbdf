#!/usr/bin/env bash
# Builds Korvastel and runs every test (unit, GUI offscreen, integration).
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
build_type="${BUILD_TYPE:-RelWithDebInfo}"
extra=()
[ -n "${CI:-}" ] && extra+=(-DKORVASTEL_WERROR=ON)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" "${extra[@]}" > /dev/null
cmake --build build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j2
