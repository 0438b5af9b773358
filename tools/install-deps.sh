#!/bin/sh
# Installs the Debian 12 packages needed to build, run and test the program.
# Idempotent: only missing packages are installed; apt-get update runs first.
set -eu

PKGS="build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-charts-dev libqt6opengl6-dev libglu1-mesa-dev libgl-dev
libgtest-dev googletest
clang libclang-rt-14-dev
r-base-core
xvfb xauth"

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "install-deps: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "install-deps: installing:$missing"
$SUDO apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
