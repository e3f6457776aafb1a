#!/usr/bin/env bash
# Checks the file modes in a Debian package: folders 0755, programs in usr/bin 0755, every other
# file 0644, the control files 0644 (maintainer scripts 0755), whatever the packager's umask was.
# Prints each entry that differs and exits 1 when there is one.
# Usage: check-deb-modes.sh PACKAGE.deb
set -euo pipefail
deb=${1:?usage: check-deb-modes.sh PACKAGE.deb}
# `tar -tv` lines: MODE OWNER SIZE DATE TIME PATH [-> TARGET]
wrong=$(
  {
    dpkg-deb --fsys-tarfile "$deb" | tar -tvf - | awk '{ print "data", $1, $6 }'
    dpkg-deb --ctrl-tarfile "$deb" | tar -tvf - | awk '{ print "control", $1, $6 }'
  } | awk '
    $2 ~ /^l/ { next }
    $2 ~ /^d/ { if ($2 != "drwxr-xr-x") print; next }
    $1 == "data" && $3 ~ /^\.\/usr\/s?bin\// { if ($2 != "-rwxr-xr-x") print; next }
    $1 == "control" && $3 ~ /(pre|post)(inst|rm)$/ { if ($2 != "-rwxr-xr-x") print; next }
    { if ($2 != "-rw-r--r--") print }
  '
)
if [ -n "$wrong" ]; then
  echo "$deb: file modes that are not 0755 (folders, programs) or 0644 (the rest):" >&2
  echo "$wrong" >&2
  exit 1
fi
