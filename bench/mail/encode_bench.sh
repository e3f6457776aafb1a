#!/usr/bin/env bash
# Times base64 encoding of one 256 MiB file with cvb-encode and with GNU base64, side by side,
# and prints the throughput of each and their ratio. Best of three runs each.
#
#   encode_bench.sh PATH/TO/cvb-encode [SIZE_MIB]
set -euo pipefail

encoder=${1:?usage: encode_bench.sh PATH/TO/cvb-encode [SIZE_MIB]}
size_mib=${2:-256}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/in.bin"

# Nanoseconds of the fastest of three runs of a command.
best_of_three() {
  local best=0
  for _ in 1 2 3; do
    local start end
    start=$(date +%s%N)
    "$@"
    end=$(date +%s%N)
    if [ "$best" -eq 0 ] || [ $((end - start)) -lt "$best" ]; then
      best=$((end - start))
    fi
  done
  echo "$best"
}

ours=$(best_of_three "$encoder" --format base64 "$work/in.bin" "$work/ours.b64")
gnu=$(best_of_three sh -c "base64 '$work/in.bin' > '$work/gnu.b64'")

# Our output (CR LF line ends) must decode to the input before any figure counts.
base64 -d -i "$work/ours.b64" | cmp -s - "$work/in.bin" || { echo "cvb-encode output does not decode"; exit 1; }

awk -v mib="$size_mib" -v ours="$ours" -v gnu="$gnu" 'BEGIN {
  mb = mib * 1048576 / 1e6
  printf "input: %d MiB (%.1f MB)\n", mib, mb
  printf "cvb-encode --format base64: %6.3f s  %8.1f MB/s\n", ours / 1e9, mb / (ours / 1e9)
  printf "GNU base64:                 %6.3f s  %8.1f MB/s\n", gnu / 1e9, mb / (gnu / 1e9)
  printf "ratio cvb-encode / GNU base64 (throughput): %.2f\n", gnu / ours
}'
