#!/bin/sh
# Download throughput of cvb-ftp against curl, from one local vsftpd on a loopback port.
# The same 512 MiB file is fetched alternately by `cvb-ftp get` and by `curl`, ROUNDS times each,
# both in passive binary mode; the script prints MB/s per run, the median of each and the ratio.
# With CVB_FTP_TLS=1 both speak FTP over TLS (AUTH TLS, encrypted data connections) to a vsftpd
# that requires it, with a certificate made for the run: cvb-ftp with ftpes:// and --trust, curl
# with --ssl-reqd and the certificate as its CA.
#
# Usage (as root; scripts/install-deps.sh --bench installs curl and unpacks vsftpd):
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
#   cmake --build build/release --target cvb-ftp -j2
#   bench/ftp/download-vs-curl.sh [BUILD_DIR=build/release] [ROUNDS=5] [SIZE_MIB=512]
#   CVB_FTP_TLS=1 bench/ftp/download-vs-curl.sh build/release 5 256
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-$repo/build/release}
rounds=${2:-5}
size_mib=${3:-512}
tool=$build/tools/cvb-ftp/cvb-ftp
[ -x "$tool" ] || { echo "no cvb-ftp in $build; build the cvb-ftp target first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/cvb-ftp-bench.XXXXXX")
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir "$work/root" "$work/out"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/root/big.bin"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
tls=${CVB_FTP_TLS:-}
cert=
curl_tls=
cvb_host=127.0.0.1
cvb_trust=
if [ -n "$tls" ]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
        -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
        -keyout "$work/key.pem" -out "$work/cert.pem" 2> /dev/null
    cat "$work/cert.pem" "$work/key.pem" > "$work/server.pem"
    cert=$work/server.pem
    fingerprint=$(openssl x509 -in "$work/cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)
    curl_tls="--ssl-reqd --cacert $work/cert.pem"
    cvb_host=ftpes://127.0.0.1
    cvb_trust="--trust $fingerprint"
fi
"$repo/tests/support/vsftpd-run.sh" "$port" "$work/root" $cert 2> "$work/vsftpd.log" &
server_pid=$!
for _ in $(seq 100); do
    curl -s $curl_tls --max-time 2 "ftp://127.0.0.1:$port/" > /dev/null 2>&1 && break
    sleep 0.1
done

now() { date +%s.%N; }
# Prints the MB/s (10^6 bytes per second) of one download, after checking its size.
run_one() {
    rm -f "$work/out/big.bin"
    start=$(now)
    "$@"
    end=$(now)
    got=$(stat -c %s "$work/out/big.bin")
    [ "$got" -eq "$((size_mib * 1024 * 1024))" ] || { echo "short download: $got bytes" >&2; exit 1; }
    echo "$start $end" | awk -v bytes="$got" '{ printf "%.1f\n", bytes / ($2 - $1) / 1e6 }'
}

# $cvb_trust and $curl_tls are split into words on purpose.
cvb_get() { "$tool" ${CVB_FTP_MODE:---passive} --binary --port "$port" $cvb_trust "$cvb_host" get big.bin "$work/out/big.bin"; }
curl_get() { curl -s $curl_tls --disable-epsv "ftp://127.0.0.1:$port/big.bin" -o "$work/out/big.bin"; }
# cvb-ftp, as every download of this program, has the file on the disk before it takes the
# target's place (fsync); curl leaves it in the page cache. The third run is curl followed by
# the same flush of its file, so that both have stored what they fetched.
curl_stored_get() { curl_get && sync -d "$work/out/big.bin"; }

# One warm-up of each, so that both read the file from the page cache.
run_one cvb_get > /dev/null
cmp -s "$work/root/big.bin" "$work/out/big.bin" || { echo "cvb-ftp download differs" >&2; exit 1; }
run_one curl_get > /dev/null

cvb_rates=
curl_rates=
stored_rates=
for i in $(seq "$rounds"); do
    c=$(run_one cvb_get)
    u=$(run_one curl_get)
    v=$(run_one curl_stored_get)
    echo "round $i: cvb-ftp $c MB/s, curl $u MB/s, curl with its file flushed $v MB/s"
    cvb_rates="$cvb_rates $c"
    curl_rates="$curl_rates $u"
    stored_rates="$stored_rates $v"
done
median() { echo "$@" | tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
cm=$(median $cvb_rates)
um=$(median $curl_rates)
vm=$(median $stored_rates)
echo "median: cvb-ftp $cm MB/s, curl $um MB/s, ratio $(echo "$cm $um" | awk '{ printf "%.2f", $1 / $2 }')"
echo "median: curl with its file flushed $vm MB/s, ratio $(echo "$cm $vm" | awk '{ printf "%.2f", $1 / $2 }')"
