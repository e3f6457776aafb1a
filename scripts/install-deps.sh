#!/usr/bin/env bash
# Installs, from Debian's package archive, what this machine does not have yet of:
#   (always)    what building and running the program needs (./run.sh);
#   --tests     what the tests need (./test.sh, .ci/run);
#   --bench     what the benchmarks need besides (bench/), --tests included;
#   --package   what building and checking the Debian package needs (scripts/package.sh).
# With --print it only prints the packages of that choice, one a line, and installs nothing.
# Nothing here starts a service. The tests run vsftpd as a program of their own, in the
# foreground: its package is not installed (on Debian it enables and starts a system FTP
# server), its binary is unpacked into build/peers/vsftpd, where tests/support/vsftpd-run.sh
# finds it, and only the libraries it links are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

program=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  libssl-dev
)
tests=(
  libgtest-dev libgmock-dev
  openssl
  python3 python3-pyftpdlib python3-openssl python3-aiosmtpd python3-dbfread python3-dbf
  desktop-file-utils appstream
  poppler-utils
)
bench=(curl lftp rclone socat)
package=(dpkg-dev fakeroot lintian desktop-file-utils appstream man-db)

packages=("${program[@]}")
with_vsftpd=false
print=false
for option in "$@"; do
  case "$option" in
    --print) print=true ;;
    --tests) packages+=("${tests[@]}"); with_vsftpd=true ;;
    --bench) packages+=("${tests[@]}" "${bench[@]}"); with_vsftpd=true ;;
    --package) packages+=("${package[@]}") ;;
    *) echo "usage: $0 [--tests] [--bench] [--package] [--print]" >&2; exit 2 ;;
  esac
done
if $print; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
updated=false
# Runs an apt-get command; when it fails, once more after reading the archive's lists again
# (a fresh machine has none, and old lists name files the archive no longer holds).
apt_get() {
  if "$@"; then
    return 0
  fi
  if ! $updated; then
    $sudo apt-get update -q
    updated=true
    "$@"
    return
  fi
  return 1
}

install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  apt_get $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The vsftpd binary of Debian's package, unpacked for the tests; the package's libraries are
# installed, its scripts and its service are not.
unpack_vsftpd() {
  local peers=build/peers binary=build/peers/vsftpd/usr/sbin/vsftpd work deb libs
  [ -x "$binary" ] && return 0
  work=$(mktemp -d)
  if ! (cd "$work" && apt_get apt-get download -q vsftpd); then
    rm -rf "$work"
    if [ -x /usr/sbin/vsftpd ]; then
      echo "install-deps.sh: could not download vsftpd; the tests use /usr/sbin/vsftpd" >&2
      return 0
    fi
    echo "install-deps.sh: could not download vsftpd from the package archive" >&2
    return 1
  fi
  deb=$(ls "$work"/vsftpd_*.deb)
  # "libc6 (>= 2.34), libcap2 (>= 1:2.10), adduser, ..." -> the library packages only.
  libs=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/[(|].*//; s/ //g' | grep '^lib' || true)
  # shellcheck disable=SC2086
  install_missing $libs
  mkdir -p "$peers"
  rm -rf "$peers/vsftpd.new"
  dpkg-deb -x "$deb" "$peers/vsftpd.new"
  rm -rf "$work" "$peers/vsftpd"
  mv "$peers/vsftpd.new" "$peers/vsftpd"
  # It must start: a library it needs and that is missing shows here, not in a test.
  "$binary" -v </dev/null >/dev/null
  echo "vsftpd for the tests: $binary (unpacked, not installed; no service)"
}

install_missing "${packages[@]}"
if $with_vsftpd; then
  unpack_vsftpd
fi
