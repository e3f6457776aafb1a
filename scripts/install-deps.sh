#!/usr/bin/env bash
# Installs, from Debian's package archive, what this machine does not have yet of:
#   (always)    what building and running the program needs (./run.sh);
#   --tests     what the tests need (./test.sh, .ci/run);
#   --bench     what the benchmarks need besides (bench/), --tests included;
#   --package   what building and checking the Debian package needs (scripts/package.sh).
# With --print it only prints the packages of that choice, one a line, and installs nothing.
# Nothing here starts a service. The tests run vsftpd and OpenSSH's sshd as programs of their
# own, in the foreground: their packages are not installed (on Debian each enables and starts a
# system server), their binaries are unpacked into build/peers/vsftpd and build/peers/openssh,
# where tests/support/vsftpd-run.sh and sshd-run.sh find them, and only the libraries they link
# are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

program=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  libssl-dev libssh-dev
)
tests=(
  libgtest-dev libgmock-dev
  openssl openssh-client
  python3 python3-pyftpdlib python3-openssl python3-aiosmtpd python3-dbfread python3-dbf
  desktop-file-utils appstream
  poppler-utils
)
bench=(curl lftp rclone socat)
package=(dpkg-dev fakeroot lintian desktop-file-utils appstream man-db)

packages=("${program[@]}")
with_peers=false
print=false
for option in "$@"; do
  case "$option" in
    --print) print=true ;;
    --tests) packages+=("${tests[@]}"); with_peers=true ;;
    --bench) packages+=("${tests[@]}" "${bench[@]}"); with_peers=true ;;
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

# The binary of a server package of Debian, unpacked for the tests into build/peers/NAME; the
# package's libraries are installed, its scripts and its service are not.
# unpack_peer PACKAGE NAME BINARY (BINARY relative to the package's root)
unpack_peer() {
  local package=$1 name=$2 peers=build/peers work deb libs
  local binary=build/peers/$name/$3
  [ -x "$binary" ] && return 0
  work=$(mktemp -d)
  if ! (cd "$work" && apt_get apt-get download -q "$package"); then
    rm -rf "$work"
    if [ -x "/$3" ]; then
      echo "install-deps.sh: could not download $package; the tests use /$3" >&2
      return 0
    fi
    echo "install-deps.sh: could not download $package from the package archive" >&2
    return 1
  fi
  deb=$(ls "$work"/"${package}"_*.deb)
  # "libc6 (>= 2.34), libcap2 (>= 1:2.10), adduser, ..." -> the library packages only.
  libs=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/[(|].*//; s/ //g' | grep '^lib' || true)
  # shellcheck disable=SC2086
  install_missing $libs
  mkdir -p "$peers"
  rm -rf "$peers/$name.new"
  dpkg-deb -x "$deb" "$peers/$name.new"
  rm -rf "$work" "$peers/$name"
  mv "$peers/$name.new" "$peers/$name"
  # It must start: a library it needs and that is missing shows here, not in a test.
  if ldd "$binary" | grep 'not found' >&2; then
    echo "install-deps.sh: $binary lacks the libraries above" >&2
    return 1
  fi
  echo "$package for the tests: $binary (unpacked, not installed; no service)"
}

install_missing "${packages[@]}"
if $with_peers; then
  unpack_peer vsftpd vsftpd usr/sbin/vsftpd
  unpack_peer openssh-server openssh usr/sbin/sshd
fi
