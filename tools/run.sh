#!/bin/sh
# Installs what is missing, builds the program and starts it. It starts in the
# project folder, whose "scripts" folder the R jobs use. The program itself
# takes no command-line options.
set -eu
cd "$(dirname "$0")/.."
./tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target korvalent korvalent-cli
exec ./build/app/korvalent
