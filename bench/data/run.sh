#!/usr/bin/env bash
# Log-row benchmark: the table engine inserts and scans ROWS log rows through the cursor
# API (every post synced to disk), dbfread reads the file back as a check, and the
# peers run side by side: bare write+sync pairs on the same disk, interleaved with the
# inserts (what durability costs at least), python-dbf appending without syncs, and
# dbfread scanning.
#   bench/data/run.sh [ROWS]          (default 100000; builds build/release first)
set -euo pipefail
cd "$(dirname "$0")/../.."
rows="${1:-100000}"
scripts/install-deps.sh --bench
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=ON >/dev/null
cmake --build build/release -j2 --target cvb-bench-data >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "== table engine (durable posts)"
build/release/bench/data/cvb-bench-data "$work/db" "$rows" | tee "$work/engine.txt"
echo "== check with dbfread"
/usr/bin/python3 bench/data/peer.py check "$work/db/FTP Log.dbf" "$rows" | tee "$work/dbfread.txt"
echo "== python-dbf append (no sync per row)"
/usr/bin/python3 bench/data/peer.py append "$work/peer.dbf" "$rows" | tee "$work/peer.txt"
rate() { grep -o '[0-9]* rows/s' "$1" | sed -n "${2}p" | cut -d' ' -f1; }
insert=$(rate "$work/engine.txt" 1); floor=$(rate "$work/engine.txt" 2); scan=$(rate "$work/engine.txt" 3)
echo "== ratios"
awk -v a="$insert" -v b="$floor" 'BEGIN { printf "insert: engine / bare write+sync pairs = %.2f\n", a / b }'
awk -v a="$insert" -v b="$(rate "$work/peer.txt" 1)" 'BEGIN { printf "insert: engine / python-dbf append = %.2f\n", a / b }'
awk -v a="$scan" -v b="$(rate "$work/dbfread.txt" 1)" 'BEGIN { printf "scan:   engine / dbfread = %.2f\n", a / b }'
