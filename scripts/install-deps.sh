#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the lab need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools
  qt6-webengine-dev qt6-webengine-dev-tools libqt6opengl6-dev libgl-dev
  qt6-qpa-plugins qt6-l10n-tools
  libturbojpeg0-dev libjpeg-turbo-progs
  libnl-3-dev libnl-route-3-dev
  libmodbus-dev mbpoll
  libcpp-httplib-dev
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev clang-format
  iproute2 procps psmisc libcap2-bin passwd socat
  xvfb xauth x11-apps imagemagick xdg-utils
  lintian desktop-file-utils appstream
  rsyslog dbus
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
