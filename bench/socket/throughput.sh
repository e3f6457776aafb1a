#!/bin/sh
# 256 MiB over loopback: SendAll and the read loop (one thread, both ends ours), next to socat
# moving the same bytes. Runs both by turns and reports the best of each and their ratio.
# Usage: throughput.sh path/to/cvb-bench-throughput [MiB] [rounds]
set -eu
prog=$1
mib=${2:-256}
rounds=${3:-3}
now() { date +%s.%N; }

socat_run() {
    port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    socat -u TCP-LISTEN:"$port",bind=127.0.0.1,reuseaddr OPEN:/dev/null &
    listener=$!
    sleep 0.3
    start=$(now)
    head -c "$((mib * 1024 * 1024))" /dev/zero | socat -u - TCP:127.0.0.1:"$port"
    wait "$listener"
    end=$(now)
    awk -v s="$start" -v e="$end" -v m="$mib" 'BEGIN { printf "%.1f\n", m * 1048576 / 1e6 / (e - s) }'
}

best_ours=0
best_socat=0
i=0
while [ "$i" -lt "$rounds" ]; do
    line=$("$prog" "$mib")
    ours=$(echo "$line" | sed -n 's/.*= \([0-9.]*\) MB\/s.*/\1/p')
    theirs=$(socat_run)
    echo "round $((i + 1)): ours $ours MB/s ($line), socat $theirs MB/s"
    best_ours=$(awk -v a="$best_ours" -v b="$ours" 'BEGIN { print (b > a ? b : a) }')
    best_socat=$(awk -v a="$best_socat" -v b="$theirs" 'BEGIN { print (b > a ? b : a) }')
    i=$((i + 1))
done
awk -v o="$best_ours" -v s="$best_socat" -v m="$mib" \
    'BEGIN { printf "best of each, %d MiB: ours %.1f MB/s, socat %.1f MB/s, ratio ours/socat %.2f\n", m, o, s, o / s }'
