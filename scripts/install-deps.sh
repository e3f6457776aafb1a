#!/usr/bin/env bash
# Installs, from Debian's package archive, whatever the build, the tests and the benchmarks
# need and this machine does not have yet.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev openssl
  python3 python3-pyftpdlib python3-openssl python3-aiosmtpd python3-dbfread python3-dbf
  vsftpd curl lftp socat netcat-openbsd
  desktop-file-utils appstream dpkg-dev fakeroot lintian man-db
  poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
