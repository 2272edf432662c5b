#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing VarnelCD need.
# Idempotent: does nothing (and needs no network) when everything is installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6network6 libqt6test6 libqt6dbus6 dbus-daemon
  libcdio-dev libcdio-paranoia-dev libcdio-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-wqy-microhei
  xvfb xauth openbox imagemagick xdotool
  desktop-file-utils appstream man-db groff-base lintian dpkg-dev file librsvg2-bin
  sox lame vorbis-tools ffmpeg id3v2 python3-mutagen cd-paranoia cuetools python3-libdiscid
  libflac++-dev flac libdiscid-dev whipper zlib1g-dev libtag1-dev
  libogg-dev libvorbis-dev libsdl2-dev libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libopusenc-dev opus-tools wavpack
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
