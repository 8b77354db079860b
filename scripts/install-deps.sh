#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent, and silent when
# everything is already present. This is the only place a package is named.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build ccache pkg-config git
  clang clang-format libclang-rt-14-dev clang-16 libclang-rt-16-dev
  libboost1.81-dev nlohmann-json3-dev libfmt-dev libssl-dev libicu-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libplist-dev libglib2.0-dev
  nodejs
  libcairo2-dev libpango1.0-dev fonts-inter
  libx11-dev libxi-dev libxtst-dev libxfixes-dev
  xvfb dbus x11-utils x11-xkb-utils matchbox-window-manager
  at-spi2-core libatspi2.0-dev libgtk-4-dev
  pulseaudio pulseaudio-utils libpulse-dev libsndfile1-dev libespeak-ng-dev espeak-ng-data
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
