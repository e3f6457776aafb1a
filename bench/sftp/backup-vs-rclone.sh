#!/bin/sh
# A whole backup of the sample web site (about 200 files in three levels and more, one of them
# 50 MiB by default) over SFTP: `corvale-backup --run-profile` with CVB_PACING=0 and the server
# field sftp://127.0.0.1:PORT, next to `rclone copy` (its sftp backend, its defaults) from the same
# OpenSSH sshd on loopback (tests/support/sshd-run.sh: a configuration and host key of its own, no
# system service), both logging on with the same user key, run alternately ROUNDS times each.
# Prints the seconds of every run, the median of each and the ratio (corvale-backup / rclone:
# below 1 is faster), and compares each copy with the site byte for byte (rclone leaves out empty
# folders; they are not compared for it).
#
# Usage (scripts/install-deps.sh --bench installs rclone and unpacks sshd):
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=ON
#   cmake --build build/release --target corvale-backup cvb-dbf cvb-bench-site -j2
#   bench/sftp/backup-vs-rclone.sh [BUILD_DIR=build/release] [ROUNDS=5]
# SFTP_BIG_BYTES sets the size of the large file. SFTP_DELAY_MS and SFTP_RATE_MBIT put the
# wide-area link of bench/wan/link.py between the programs and sshd (delay each way, rate each
# direction; both 0 by default: plain loopback).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
. "$repo/bench/lib.sh"
build=${1:-$repo/build/release}
rounds=${2:-5}
built_programs "$build"
command -v rclone > /dev/null || { echo "rclone is missing; run scripts/install-deps.sh --bench" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/cvb-sftp-bench.XXXXXX")
server_pid=
link_pid=
cleanup() {
    set +e
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    [ -n "$link_pid" ] && kill "$link_pid" 2>/dev/null && wait "$link_pid" 2>/dev/null
    exec 8>&- 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# The server's root must be open to the account sshd-run.sh makes when run as root.
chmod 711 "$work"
mkdir -m 755 "$work/root"
mkdir "$work/data" "$work/backup" "$work/mirror" "$work/home"
if [ -n "${SFTP_BIG_BYTES:-}" ]; then
    files=$("$site" "$work/root" "$SFTP_BIG_BYTES")
else
    files=$("$site" "$work/root")
fi
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$repo/tests/support/sshd-run.sh" "$port" "$work/root" "$work/state" 2> "$work/sshd.log" &
server_pid=$!
for _ in $(seq 100); do
    grep -q 'Server listening' "$work/sshd.log" 2>/dev/null && break
    sleep 0.1
done
grep -q 'Server listening' "$work/sshd.log" || { echo "sshd did not start:" >&2; cat "$work/sshd.log" >&2; exit 1; }
delay=${SFTP_DELAY_MS:-0}
rate=${SFTP_RATE_MBIT:-0}
host=127.0.0.1
if [ "$delay" != 0 ] || [ "$rate" != 0 ]; then
    # The relay runs until its standard input closes (descriptor 8 is held open meanwhile).
    host=127.0.0.2
    mkfifo "$work/link-input"
    /usr/bin/python3 "$repo/bench/wan/link.py" --listen "$host" --target 127.0.0.1 --ports "$port" \
        --delay-ms "$delay" --rate-mbit "$rate" < "$work/link-input" > "$work/link.out" 2> "$work/link.log" &
    link_pid=$!
    exec 8> "$work/link-input"
    wait_listening "$work/link.out" > /dev/null || { echo "the link simulator did not start" >&2; exit 1; }
fi

# Both log on with the user key: corvale-backup finds it in ~/.ssh (an empty password), rclone is
# given its file. The host key is pinned for corvale-backup as the connection test pins it.
user=$(id -un)
mkdir -m 700 "$work/home/.ssh"
cp "$work/state/id_ed25519" "$work/home/.ssh/id_ed25519"
fingerprint=$(ssh-keygen -l -E sha256 -f "$work/state/host_ed25519.pub" | cut -d' ' -f2)
printf '%s:%s %s\n' "$host" "$port" "$fingerprint" > "$work/data/known-servers"
"$dbf" init "$work/data" > /dev/null
"$dbf" set "$work/data/FTP Connection.dbf" 1 "USERNAME=$user" PASSWORD= \
    "DOMAIN=sftp://$host:$port" USEDEFAULT=T > /dev/null
"$dbf" add "$work/data/FTP Profiles.DBF" PROFILE=Bench "TARGET_LOC=$work/backup" ACTIVE=F > /dev/null
for source in www/index.html www/site cgi-bin; do
    "$dbf" add "$work/data/FTP Sources.DBF" PROFILE=Bench "SOURCE=$work/root/$source" MODE=Binary > /dev/null
done

# rclone's remote from the environment; no configuration file is read or written.
RCLONE_CONFIG=$work/rclone.conf
RCLONE_CONFIG_BENCH_TYPE=sftp
RCLONE_CONFIG_BENCH_HOST=$host
RCLONE_CONFIG_BENCH_PORT=$port
RCLONE_CONFIG_BENCH_USER=$user
RCLONE_CONFIG_BENCH_KEY_FILE=$work/state/id_ed25519
export RCLONE_CONFIG RCLONE_CONFIG_BENCH_TYPE RCLONE_CONFIG_BENCH_HOST RCLONE_CONFIG_BENCH_PORT \
    RCLONE_CONFIG_BENCH_USER RCLONE_CONFIG_BENCH_KEY_FILE

backup_run() {
    rm -rf "$work/backup" && mkdir "$work/backup"
    start=$(now)
    HOME=$work/home SSH_AUTH_SOCK= CVB_PACING=0 QT_QPA_PLATFORM=offscreen \
        "$program" --data "$work/data" --run-profile Bench > "$work/run.log" 2>&1 ||
        { echo "corvale-backup failed:" >&2; cat "$work/run.log" >&2; exit 1; }
    seconds "$start" "$(now)"
}
rclone_run() {
    rm -rf "$work/mirror" && mkdir "$work/mirror"
    start=$(now)
    { rclone copyto "bench:$work/root/www/index.html" "$work/mirror/index.html" &&
        rclone copy "bench:$work/root/www/site" "$work/mirror/site" &&
        rclone copy "bench:$work/root/cgi-bin" "$work/mirror/cgi-bin"; } > "$work/run.log" 2>&1 ||
        { echo "rclone failed:" >&2; cat "$work/run.log" >&2; exit 1; }
    seconds "$start" "$(now)"
}

# One warm-up of each; the backup must equal the site, and rclone's copy must hold every file of
# it byte for byte.
backup_run > /dev/null
rclone_run > /dev/null
mkdir "$work/expected"
cp "$work/root/www/index.html" "$work/expected/"
cp -a "$work/root/www/site" "$work/root/cgi-bin" "$work/expected/"
diff -r --exclude=.corvale-manifest "$work/expected" "$work/backup" > "$work/diff.txt" || { echo "the backup differs from the site:" >&2; head -20 "$work/diff.txt" >&2; exit 1; }
(cd "$work/expected" && find . -type f) | while read -r f; do
    cmp -s "$work/expected/$f" "$work/mirror/$f" || { echo "rclone's copy of $f differs" >&2; exit 1; }
done

side_by_side "$rounds" "$files files over SFTP" backup_run corvale-backup rclone_run rclone
[ "$host" = 127.0.0.1 ] && echo "loopback" || echo "link: $delay ms each way, $rate Mbit/s each direction (link.py)"
echo "median: corvale-backup $bm s, rclone $pm s, ratio $(ratio "$bm" "$pm")"
