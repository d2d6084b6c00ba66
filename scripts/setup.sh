#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the program
# need (only what is missing; quiet when all is there), then configures and
# builds the given CMake presets (default: release).
#   bash scripts/setup.sh [PRESET...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config git
    clang-14 libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-multimedia-dev
    libgsf-1-dev libsqlite3-dev sqlite3 libpugixml-dev
    python3 python3-olefile python3-numpy python3-scipy
    libnetcdf-dev python3-netcdf4
    poppler-utils
    xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}" >&2
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: these Debian packages are missing; run as root to install them" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

presets=("$@")
((${#presets[@]})) || presets=(release)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
