#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and nothing else.
# As root it runs apt-get itself; otherwise it prints the exact command to run.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libjpeg-dev libgif-dev libpng-dev libsqlite3-dev libyaml-cpp-dev libarchive-dev
  libqpdf-dev libqrencode-dev
  xvfb xdotool poppler-utils zbar-tools strace bindfs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Please run:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
