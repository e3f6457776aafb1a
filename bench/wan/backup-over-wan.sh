#!/bin/sh
# Backups over a simulated wide-area link: the sample web site of bench/backup (about 200 files,
# one of them large) and a site of 2,000 small files in 40 folders, each fetched from one local
# pyftpdlib server through link.py by `corvale-backup --run-profile` (CVB_PACING=0: no fixed
# pauses) with its default of 3 transfer connections and with 1 (settings.ini), `lftp mirror`
# with one connection and with --parallel=3, and `rclone copy` with its defaults. ROUNDS rounds per site; every round runs each program once, starting with another
# program each round. Prints every run, the medians, and corvale-backup's median divided by
# each peer's (below 1 is faster). Every copy is compared with the site; rclone leaves out
# empty folders (its default), which is allowed for it and said once.
#
# Usage (scripts/install-deps.sh --bench installs python3-pyftpdlib, lftp and rclone):
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCVB_TESTS=ON
#   cmake --build build/release --target corvale-backup cvb-dbf cvb-bench-site -j2
#   bench/wan/backup-over-wan.sh [BUILD_DIR=build/release] [ROUNDS=3]
# Environment:
#   WAN_DELAY_MS   one-way delay in each direction (default 15)
#   WAN_RATE_MBIT  rate of each direction, shared by all connections (default 100; 0: no cap)
#                  WAN_DELAY_MS=0 WAN_RATE_MBIT=0 is plain loopback: no relay at all
#   WAN_SITES      the sites, in order (default "sample small")
#   WAN_BIG_BYTES  size of the sample site's large file (default 52428800, as bench/backup)
#   WAN_CONNECTIONS  transfer connections of the corvale-backup runs (default: the program's, 3)
#   WAN_PROGRAMS   the programs to run (default "corvale-backup corvale-backup-1 lftp lftp-P3 rclone";
#                  a ratio is printed where both of its programs ran)
#   WAN_UPDATE     1: the second backup of a site that did not change. Each program first makes its
#                  copy once (not timed); every timed run then brings it up to date: corvale-backup
#                  into a new date-stamped folder, fetching only what changed (nothing: every file
#                  is linked from the folder before), lftp with `mirror --only-newer` into its
#                  mirror. Programs by default "corvale-backup lftp lftp-P3"; rclone is not run.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
. "$repo/bench/lib.sh"
build=${1:-$repo/build/release}
rounds=${2:-3}
delay=${WAN_DELAY_MS:-15}
rate=${WAN_RATE_MBIT:-100}
sites=${WAN_SITES:-sample small}
big=${WAN_BIG_BYTES:-52428800}
update=${WAN_UPDATE:-0}
python=/usr/bin/python3
built_programs "$build"
make_site=$site
for tool in lftp rclone; do
    command -v "$tool" > /dev/null || { echo "missing $tool; run scripts/install-deps.sh --bench" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/cvb-wan-bench.XXXXXX")
server_pid=
link_pid=
cleanup() {
    # `wait` for a killed server fails, and set -e would end the clean-up before the folder goes.
    set +e
    exec 7>&- 8>&- 2>/dev/null
    [ -n "$link_pid" ] && kill "$link_pid" 2>/dev/null && wait "$link_pid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$delay" = 0 ] && [ "$rate" = 0 ]; then
    relayed=false
    host=127.0.0.1
    port=$($python "$here/link.py" --free-block 1 --listen 127.0.0.1)
else
    relayed=true
    host=127.0.0.2
    # The control port and 100 passive ports, free on both addresses.
    port=$($python "$here/link.py" --free-block 101 --listen "$host" --target 127.0.0.1)
    passive="$((port + 1))-$((port + 100))"
fi

# The sites, and what a copy of each must hold (links into the server's tree).
mkdir -p "$work/root" "$work/data" "$work/expected/sample" "$work/expected/small"
sample_files=$("$make_site" "$work/root" "$big")
small_files=$($python "$here/make_small_site.py" "$work/root/small")
ln -s "$work/root/www/index.html" "$work/expected/sample/index.html"
ln -s "$work/root/www/site" "$work/expected/sample/site"
ln -s "$work/root/cgi-bin" "$work/expected/sample/cgi-bin"
ln -s "$work/root/small" "$work/expected/small/small"

# Server and link run until their standard input closes (descriptors 7 and 8 hold them open).
mkfifo "$work/server-input" "$work/link-input"
if $relayed; then
    $python "$here/wan_ftp_server.py" "$port" "$work/root" bench secret "$host" "$passive" \
        < "$work/server-input" > "$work/server.out" 2> "$work/server.log" &
else
    $python "$here/wan_ftp_server.py" "$port" "$work/root" bench secret \
        < "$work/server-input" > "$work/server.out" 2> "$work/server.log" &
fi
server_pid=$!
exec 7> "$work/server-input"
wait_listening "$work/server.out" > /dev/null || { echo "the FTP server did not start" >&2; exit 1; }
if $relayed; then
    $python "$here/link.py" --listen "$host" --target 127.0.0.1 --ports "$port,$passive" \
        --delay-ms "$delay" --rate-mbit "$rate" < "$work/link-input" > "$work/link.out" 2> "$work/link.log" &
    link_pid=$!
    exec 8> "$work/link-input"
    wait_listening "$work/link.out" > /dev/null || { echo "the link simulator did not start" >&2; exit 1; }
fi

# One profile per site, every source in binary mode (the transfer-mode rule still fetches pages
# in ASCII mode; the sites' pages have LF line ends, so the copies are byte for byte the same).
"$dbf" init "$work/data" > /dev/null
"$dbf" set "$work/data/FTP Connection.dbf" 1 USERNAME=bench PASSWORD=secret \
    "DOMAIN=$host:$port" USEDEFAULT=T FIREWALL=T > /dev/null
# Updates keep one copy per program: corvale-backup's date-stamped folders below copy.corvale.
if [ "$update" = 1 ]; then
    stamped="DTSTAMP_DI=T TARGET_LOC=$work/copy.corvale"
else
    stamped="TARGET_LOC=$work/copy"
fi
"$dbf" add "$work/data/FTP Profiles.DBF" PROFILE=sample $stamped ACTIVE=F > /dev/null
"$dbf" add "$work/data/FTP Profiles.DBF" PROFILE=small $stamped ACTIVE=F > /dev/null
for source in /www/index.html /www/site /cgi-bin; do
    "$dbf" add "$work/data/FTP Sources.DBF" PROFILE=sample "SOURCE=$source" MODE=Binary > /dev/null
done
"$dbf" add "$work/data/FTP Sources.DBF" PROFILE=small SOURCE=/small MODE=Binary > /dev/null

# rclone's remote from the environment; no configuration file is read or written.
RCLONE_CONFIG=$work/rclone.conf
RCLONE_CONFIG_WAN_TYPE=ftp
RCLONE_CONFIG_WAN_HOST=$host
RCLONE_CONFIG_WAN_PORT=$port
RCLONE_CONFIG_WAN_USER=bench
RCLONE_CONFIG_WAN_PASS=$(rclone obscure secret)
export RCLONE_CONFIG RCLONE_CONFIG_WAN_TYPE RCLONE_CONFIG_WAN_HOST RCLONE_CONFIG_WAN_PORT \
    RCLONE_CONFIG_WAN_USER RCLONE_CONFIG_WAN_PASS

# The folder that PROGRAM's copy goes to (or, for an update, is kept in).
copy_of() {
    if [ "$update" != 1 ]; then
        echo "$work/copy"
    else
        case "$1" in corvale-backup*) echo "$work/copy.corvale" ;; *) echo "$work/copy.$1" ;; esac
    fi
}

# fetch PROGRAM SITE: one copy of SITE into $(copy_of PROGRAM).
fetch() {
    copy=$(copy_of "$1")
    case "$1" in
    corvale-backup | corvale-backup-1)
        if [ "$1" = corvale-backup-1 ]; then
            printf '[transfer]\nconnections=1\n' > "$work/data/settings.ini"
        elif [ -n "${WAN_CONNECTIONS:-}" ]; then
            printf '[transfer]\nconnections=%s\n' "$WAN_CONNECTIONS" > "$work/data/settings.ini"
        else
            rm -f "$work/data/settings.ini"
        fi
        CVB_PACING=0 QT_QPA_PLATFORM=offscreen "$program" --data "$work/data" --run-profile "$2" \
            > "$work/run.log" 2>&1 ;;
    lftp | lftp-P3)
        if [ "$1" = lftp-P3 ]; then parallel=--parallel=3; else parallel=; fi
        [ "$update" = 1 ] && parallel="$parallel --only-newer"
        if [ "$2" = sample ]; then
            get="get www/index.html -o $copy/index.html; mirror $parallel www/site $copy/site;
                 mirror $parallel cgi-bin $copy/cgi-bin"
        else
            get="mirror $parallel small $copy/small"
        fi
        lftp -c "set cmd:fail-exit yes; set ftp:passive-mode on; open -u bench,secret ftp://$host:$port; $get" \
            > "$work/run.log" 2>&1 ;;
    rclone)
        if [ "$2" = sample ]; then
            rclone copyto wan:www/index.html "$copy/index.html" > "$work/run.log" 2>&1 &&
                rclone copy wan:www/site "$copy/site" >> "$work/run.log" 2>&1 &&
                rclone copy wan:cgi-bin "$copy/cgi-bin" >> "$work/run.log" 2>&1
        else
            rclone copy wan:small "$copy/small" > "$work/run.log" 2>&1
        fi ;;
    esac
}

# check PROGRAM SITE: the copy must equal the site; rclone may leave out empty folders.
rclone_note=
check() {
    copy=$(copy_of "$1")
    case "$update $1" in
    # The newest date-stamped folder; its manifest is no file of the site.
    "1 corvale-backup"*) copy=$(ls -td "$copy"/*/ | head -1) ;;
    esac
    diff -r -x .corvale-manifest "$work/expected/$2" "$copy" > "$work/diff.txt" 2>&1 && return 0
    if [ "$1" = rclone ]; then
        # "Only in DIR: NAME" where DIR/NAME is an empty folder of the site is all it may say.
        if awk -F ': ' '!/^Only in / { exit 1 } { sub(/^Only in /, "", $1); print $1 "/" $2 }' \
            "$work/diff.txt" > "$work/missing.txt"; then
            left_out=yes
            while IFS= read -r path; do
                [ -d "$path" ] && [ -z "$(ls -A "$path")" ] || left_out=
            done < "$work/missing.txt"
            if [ -n "$left_out" ]; then
                rclone_note="rclone leaves out empty folders: $(sed "s|^$work/expected/||" "$work/missing.txt" | sort -u | tr '\n' ' ')"
                return 0
            fi
        fi
    fi
    echo "the copy by $1 of the $2 site differs from the site:" >&2
    head -20 "$work/diff.txt" >&2
    exit 1
}

if [ "$update" = 1 ]; then
    programs=${WAN_PROGRAMS:-corvale-backup lftp lftp-P3}
else
    programs=${WAN_PROGRAMS:-corvale-backup corvale-backup-1 lftp lftp-P3 rclone}
fi
program_count=$(echo $programs | wc -w)
label() {
    case "$1" in
    lftp-P3) echo "lftp --parallel=3" ;;
    corvale-backup-1) echo "corvale-backup (1 connection)" ;;
    *) echo "$1" ;;
    esac
}
# The programs of round $1, each round starting one further along.
order() {
    set -- $(( ($1 - 1) % program_count )) $programs
    shift_by=$1
    shift
    i=0
    for p in "$@"; do [ "$i" -ge "$shift_by" ] && printf '%s ' "$p"; i=$((i + 1)); done
    i=0
    for p in "$@"; do [ "$i" -lt "$shift_by" ] && printf '%s ' "$p"; i=$((i + 1)); done
}

if $relayed; then
    echo "link: $delay ms each way, $rate Mbit/s each direction (link.py, $host -> 127.0.0.1, passive ports $passive)"
else
    echo "link: plain loopback (no relay)"
fi
echo "corvale-backup runs with CVB_PACING=0 (no fixed pauses); lftp and rclone with their defaults"
for site in $sites; do
    case "$site" in
    sample) echo "sample site: $sample_files files, one of them $big bytes" ;;
    small) echo "small site: $small_files files in 40 folders" ;;
    *) echo "unknown site $site (sample, small)" >&2; exit 2 ;;
    esac
    rm -f "$work"/times.*
    if [ "$update" = 1 ]; then
        # The copies that the timed runs bring up to date.
        for p in $programs; do
            rm -rf "$(copy_of "$p")" && mkdir "$(copy_of "$p")"
            fetch "$p" "$site" || { echo "$(label "$p") failed on the $site site:" >&2; tail -20 "$work/run.log" >&2; exit 1; }
        done
        echo "  $site: every program made its first copy; the runs below update it, nothing changed"
    fi
    for round in $(seq "$rounds"); do
        for p in $(order "$round"); do
            [ "$update" = 1 ] || { rm -rf "$work/copy" && mkdir "$work/copy"; }
            start=$(now)
            fetch "$p" "$site" || { echo "$(label "$p") failed on the $site site:" >&2; tail -20 "$work/run.log" >&2; exit 1; }
            took=$(seconds "$start" "$(now)")
            check "$p" "$site"
            echo "  $site round $round: $(label "$p") $took s"
            echo "$took" >> "$work/times.$p"
        done
    done
    line="  $site median:"
    for p in $programs; do
        line="$line $(label "$p") $(median $(cat "$work/times.$p")) s,"
    done
    echo "${line%,}"
    if [ -f "$work/times.corvale-backup" ]; then
        ours=$(median $(cat "$work/times.corvale-backup"))
        ratios="  $site corvale-backup divided by:"
        for p in $programs; do
            case "$p" in corvale-backup*) ;; *) ratios="$ratios $(label "$p") $(ratio "$ours" "$(median $(cat "$work/times.$p"))")," ;; esac
        done
        echo "${ratios%,}"
    fi
    if [ -f "$work/times.corvale-backup-1" ] && [ -f "$work/times.lftp" ]; then
        ours1=$(median $(cat "$work/times.corvale-backup-1"))
        echo "  $site corvale-backup (1 connection) divided by lftp: $(ratio "$ours1" "$(median $(cat "$work/times.lftp"))")"
    fi
done
[ -z "$rclone_note" ] || echo "${rclone_note% }"
if $relayed; then
    exec 8>&-
    wait "$link_pid" || true
    link_pid=
    echo "link.py's own error (chunks written after their time): $(sed -n 's/^LATE //p' "$work/link.out")"
fi
