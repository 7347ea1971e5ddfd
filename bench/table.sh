# shellcheck shell=bash
# Sourced by the benchmark scripts: rows of the one results table that scripts/bench prints,
#   | Measure | Korvel | Reference | Ratio | Goal | Met |
# Figures are plain numbers; the unit goes with them into the cell.

# bench_row MEASURE KORVEL REFERENCE RATIO GOAL MET
bench_row() {
    printf '| %s | %s | %s | %s | %s | %s |\n' "$@"
}

# bench_skipped MEASURE REASON
bench_skipped() {
    bench_row "$1" "skipped: $2" "" "" "" ""
}

# bench_ratio A B: A / B to two places, or "n/a".
bench_ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "x%.2f", a / b; else print "n/a" }'
}

# bench_met VALUE LIMIT: "yes" when VALUE <= LIMIT.
bench_met() {
    awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l ? "yes" : "**no**") }'
}

# bench_median < NUMBERS
bench_median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_mib KIB
bench_mib() {
    awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'
}
