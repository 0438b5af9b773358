#!/bin/sh
# Installs what is missing, builds everything and runs every test through CTest:
# the normal build (engine, window, R tests), the engine tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded fuzzing run.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
echo "== tests"
(cd build && ctest --output-on-failure -j "$jobs" -LE fuzz)

echo "== engine tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALENT_SANITIZE=ON \
    -DKORVALENT_BUILD_GUI=OFF -DKORVALENT_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs" -L 'engine|fuzz')

echo "== loader fuzzing with libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKORVALENT_FUZZ=ON -DKORVALENT_BUILD_GUI=OFF -DKORVALENT_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target fuzz_targets
(cd build-fuzz && ctest --output-on-failure -L fuzz)
