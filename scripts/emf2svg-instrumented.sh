#!/usr/bin/env bash
# Builds libemf2svg from the Debian 12 source package with the fuzzer's coverage and the address and
# undefined-behaviour sanitizers, as a static library in build-fuzz/emf2svg/, so that fuzz_metafile can
# steer inside the converter (scripts/fuzz.sh metafile-instrumented). Prints the library's path.
#   scripts/emf2svg-instrumented.sh
# The machine's apt configuration is left as it is: the source index is fetched with a private
# configuration whose deb-src entries are copied from the machine's own Debian sources.
set -euo pipefail
cd "$(dirname "$0")/.."

top="$PWD/build-fuzz/emf2svg"
lib="$top/build/libemf2svg.a"
if [ -f "$lib" ]; then
  echo "$lib"
  exit 0
fi

# Build dependencies of the source package that the library itself needs (its manual page tools are
# not built). clang and the fuzzer's run-time come from scripts/setup.sh.
build_deps=(cmake pkg-config libfontconfig-dev libfreetype-dev libpng-dev libuemf-dev dpkg-dev)
missing=()
for p in "${build_deps[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -ne 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

apt="$top/apt"
rm -rf "$apt"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
machine_sources=/etc/apt/sources.list.d/debian.sources
[ -f "$machine_sources" ] || { echo "emf2svg: $machine_sources is missing" >&2; exit 1; }
sed 's/^Types:.*$/Types: deb-src/' "$machine_sources" >"$apt/sources.list.d/debian.sources"
private=(
  -o "Dir::Etc::sourcelist=-" -o "Dir::Etc::sourceparts=$apt/sources.list.d"
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
  # The private folders belong to root; apt's download user could not write them.
  -o "APT::Sandbox::User=root"
)
apt-get "${private[@]}" -qq update
src="$top/src"
rm -rf "$src"
mkdir -p "$src"
(cd "$src" && apt-get "${private[@]}" -qq source libemf2svg/bookworm)
tree=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name 'libemf2svg-*' | head -n1)
[ -n "$tree" ] || { echo "emf2svg: the source package did not unpack in $src" >&2; exit 1; }

# The package's CMakeLists builds C flags from the C++ flags, so both carry the instrumentation.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g -O1"
CC=clang CXX=clang++ cmake -Wno-dev -Wno-deprecated -S "$tree" -B "$top/build" -G Ninja -DSTATIC=ON -DCMAKE_BUILD_TYPE= \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
nice -n 19 cmake --build "$top/build" --parallel 2 --target emf2svg >/dev/null
[ -f "$lib" ] || { echo "emf2svg: $lib was not built" >&2; exit 1; }
echo "$lib"
