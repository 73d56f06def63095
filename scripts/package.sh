#!/usr/bin/env bash
# Sets up, builds for /usr and makes the Debian package build/tovari_<version>_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
scripts/build.sh
cpack --config build/CPackConfig.cmake -B build
ls build/tovari_*_amd64.deb
