#!/usr/bin/env bash
# Installs what building and running the program needs and is missing (no test tools), builds
# the program in Release and starts it.
# Arguments are passed on to the program (for example: ./run.sh --data /tmp/cvb).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=OFF >/dev/null
cmake --build build/release --target corvale-backup
exec build/release/app/corvale-backup "$@"
