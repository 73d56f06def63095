#!/usr/bin/env bash
# Installs every Debian package that building, testing, packaging and running tovari need. Safe to run again.
# Packages are installed without recommends, so everything used at run time is named here, even when
# another package merely recommends it.
set -euo pipefail

packages=(
  # building
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libcurl4-openssl-dev libjpeg62-turbo-dev libexif-dev libexif12
  libwmf-dev libemf2svg-dev
  libexpat1-dev  # libwmf's pkg-config file links expat, but libwmf-dev does not depend on it
  libpng-dev libgif-dev libtiff-dev libwebp-dev libwebpdemux2 libwebpmux3 libheif-dev libheif1 libde265-0 libx265-199 libaom3 libdav1d6
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libsqlite3-dev libsodium-dev
  # running: Qt's platform plug-ins (offscreen, xcb), Japanese text, libwmf's standard fonts
  qt6-qpa-plugins fonts-noto-cjk fonts-urw-base35
  qt6-translations-l10n  # Qt's own texts (standard buttons, file dialogs) in Japanese
  # scripts/run.sh without a display
  xvfb xauth
  # the window-frame test: a window manager that draws real frames
  openbox
  # benchmarks
  libjpeg-turbo-progs python3 curl
  # the Debian package and the checks of the installed desktop files
  dpkg-dev file desktop-file-utils appstream
  # sanitizer and fuzzing builds
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  sudo="sudo"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
