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

# Runs the functions $3 and $5 (each prints its seconds) $1 times side by side, alternating, with
# $2 after each round's line; prints every round, the medians and the ratio ($3's / $5's), and
# sets bm and pm to the two medians. $3 and $5 are named in the lines as $4 and $6.
side_by_side() {
    rounds_=$1 note_=$2 ours_=$3 ours_name_=$4 peer_=$5 peer_name_=$6
    ours_times_=
    peer_times_=
    for i in $(seq "$rounds_"); do
        o_=$($ours_)
        p_=$($peer_)
        echo "round $i: $ours_name_ $o_ s, $peer_name_ $p_ s ($note_)"
        ours_times_="$ours_times_ $o_"
        peer_times_="$peer_times_ $p_"
    done
    bm=$(median $ours_times_)
    pm=$(median $peer_times_)
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
