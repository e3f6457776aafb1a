# What the benchmark scripts share (sourced by them).

# Sets program, dbf and site to the programs of the build folder $1; fails with a word on how to
# build them when one is missing.
built_programs() {
    program=$1/app/corvale-backup
    dbf=$1/tools/cvb-dbf/cvb-dbf
    site=$1/bench/backup/cvb-bench-site
    for tool in "$program" "$dbf" "$site"; do
        [ -x "$tool" ] || { echo "missing $tool; build corvale-backup, cvb-dbf and cvb-bench-site first" >&2; exit 2; }
    done
}

# Seconds since the epoch, with nanoseconds.
now() { date +%s.%N; }

# The seconds from $1 to $2, two decimals.
seconds() { echo "$1 $2" | awk '{ printf "%.2f\n", $2 - $1 }'; }

# The median of the numbers given.
median() {
    echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n |
        awk '{ v[NR] = $1 } END { printf "%.2f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# $1 / $2, two decimals.
ratio() { echo "$1 $2" | awk '{ printf "%.2f", $1 / $2 }'; }

# Waits up to ten seconds for a line starting with LISTENING in the file $1; prints the rest of
# that line (a server prints its port there). Fails when none comes.
wait_listening() {
    for _ in $(seq 100); do
        if grep -q '^LISTENING' "$1" 2>/dev/null; then
            sed -n 's/^LISTENING *//p' "$1" | head -1
            return 0
        fi
        sleep 0.1
    done
    return 1
}
