#!/usr/bin/env bash
# Builds the Debian package from this checkout with Debian's hardening flags, checks its file
# modes and checks it with lintian, and prints its path: build/package/corvale-backup_VERSION_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
# The package's folders are made with the umask in force while cpack installs into its staging
# folder: 0755 folders and 0644 files whatever the packager's own umask is.
umask 022
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build/package
rm -f build/package/corvale-backup_*_amd64.deb
(cd build/package && cpack >/dev/null)
deb=$(ls build/package/corvale-backup_*_amd64.deb)
scripts/check-deb-modes.sh "$deb"
lintian --fail-on error "$deb" >&2 || { echo "lintian found errors in $deb" >&2; exit 1; }
echo "$deb"
