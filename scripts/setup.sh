#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark and run its demo.
# Idempotent: packages already present are left as they are. Must run as root (or through sudo).
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config git
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libcrypto++-dev zlib1g-dev libbz2-dev libxml2-dev libxml2-utils libicu-dev libsqlite3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool openbox wmctrl libx11-dev imagemagick fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "setup: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
