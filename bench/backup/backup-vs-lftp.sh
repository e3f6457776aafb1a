#!/bin/sh
# A whole backup of the sample web site (about 200 files in three levels and more, one of them
# 50 MiB) by `corvale-backup --run-profile` with CVB_PACING=0, next to `lftp` mirroring the same
# sources from the same local pyftpdlib server, run alternately ROUNDS times each. Prints the seconds of
# every run, the median of each and the ratio (corvale-backup / lftp: below 1 is faster).
#
# Usage (scripts/install-deps.sh --bench installs python3-pyftpdlib and lftp):
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=ON
#   cmake --build build/release --target corvale-backup cvb-dbf cvb-bench-site -j2
#   bench/backup/backup-vs-lftp.sh [BUILD_DIR=build/release] [ROUNDS=5]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
. "$repo/bench/lib.sh"
build=${1:-$repo/build/release}
rounds=${2:-5}
built_programs "$build"

work=$(mktemp -d "${TMPDIR:-/tmp}/cvb-backup-bench.XXXXXX")
server_pid=
cleanup() {
    # `wait` for a killed server fails, and set -e would end the clean-up before the folder goes.
    set +e
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    exec 7>&- 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir "$work/root" "$work/data" "$work/backup" "$work/mirror"
files=$("$site" "$work/root")
# The server runs until its standard input closes (descriptor 7 is held open meanwhile).
mkfifo "$work/server-input"
/usr/bin/python3 "$repo/tests/support/ftp_server.py" 0 "$work/root" bench secret < "$work/server-input" \
    > "$work/server.out" 2> "$work/server.log" &
server_pid=$!
exec 7> "$work/server-input"
port=$(wait_listening "$work/server.out") || { echo "the FTP server did not start" >&2; exit 1; }

"$dbf" init "$work/data" > /dev/null
"$dbf" set "$work/data/FTP Connection.dbf" 1 USERNAME=bench PASSWORD=secret \
    "DOMAIN=127.0.0.1:$port" USEDEFAULT=T FIREWALL=T > /dev/null
"$dbf" add "$work/data/FTP Profiles.DBF" PROFILE=Bench "TARGET_LOC=$work/backup" ACTIVE=F > /dev/null
for source in /www/index.html /www/site /cgi-bin; do
    "$dbf" add "$work/data/FTP Sources.DBF" PROFILE=Bench "SOURCE=$source" MODE=Binary > /dev/null
done

backup_run() {
    rm -rf "$work/backup" && mkdir "$work/backup"
    start=$(now)
    CVB_PACING=0 QT_QPA_PLATFORM=offscreen "$program" --data "$work/data" --run-profile Bench > /dev/null 2>&1 ||
        { echo "corvale-backup failed" >&2; exit 1; }
    seconds "$start" "$(now)"
}
lftp_run() {
    rm -rf "$work/mirror" && mkdir "$work/mirror"
    start=$(now)
    lftp -c "set ftp:passive-mode on; open -u bench,secret ftp://127.0.0.1:$port; get www/index.html -o $work/mirror/index.html;
             mirror www/site $work/mirror/site; mirror cgi-bin $work/mirror/cgi-bin" > /dev/null
    seconds "$start" "$(now)"
}

# One warm-up of each; both must give the same tree.
backup_run > /dev/null
lftp_run > /dev/null
diff -r --exclude=.corvale-manifest "$work/backup" "$work/mirror" > /dev/null || { echo "the two copies differ" >&2; exit 1; }

side_by_side "$rounds" "$files files" backup_run corvale-backup lftp_run lftp
echo "median: corvale-backup $bm s, lftp $pm s, ratio $(ratio "$bm" "$pm")"
