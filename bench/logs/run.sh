#!/usr/bin/env bash
# Log window and log report benchmark on a long log.
#   bench/logs/run.sh [ROWS]          (default 100000; builds build/release first)
set -euo pipefail
cd "$(dirname "$0")/../.."
rows="${1:-100000}"
scripts/install-deps.sh --bench
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=ON >/dev/null
cmake --build build/release -j2 --target cvb-bench-logs >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build/release/bench/logs/cvb-bench-logs "$work/db" "$rows"
pdftotext -f 1 -l 1 "$work/db/log.pdf" - | head -6
