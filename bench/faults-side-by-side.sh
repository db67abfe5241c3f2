#!/usr/bin/env bash
# The experiment soak on a clean line and on a poor one, one after the
# other in one command, with the figures side by side:
#   bench/faults-side-by-side.sh [BUILD_DIR] [RATE] [experiment_bench options...]
# Defaults: build, 0.02, --windows 4 --plot hidden --device-seconds 600 --scale 10.
set -euo pipefail
build=${1:-build}
rate=${2:-0.02}
shift $(( $# > 2 ? 2 : $# ))
options=("$@")
[[ ${#options[@]} -gt 0 ]] || options=(--windows 4 --plot hidden --device-seconds 600 --scale 10)
bench="$build/bin/experiment_bench"
[[ -x $bench ]] || { echo "no $bench: build the target experiment_bench first" >&2; exit 1; }

clean=$(mktemp) poor=$(mktemp) errors=$(mktemp)
trap 'rm -f "$clean" "$poor" "$errors"' EXIT
status=0
"$bench" "${options[@]}" > "$clean" 2>>"$errors" || status=$?
"$bench" "${options[@]}" --faults "$rate" > "$poor" 2>>"$errors" || status=$?
# The platform's chatter stays out of the table unless a run failed.
[[ $status -eq 0 ]] || cat "$errors" >&2

# The figure after a line's label, from a soak's report.
figure() { sed -n "s/^$2 *//p" "$1" | head -n 1; }
polls() { sed -n 's/^polls\/s:.*, \([0-9.]*\) in all$/\1/p' "$1" | tail -n 1; }
row() { printf '%-22s %-28s %s\n' "$1" "$2" "$3"; }

row "" "faults 0" "faults $rate"
row "polls/s in all" "$(polls "$clean")" "$(polls "$poor")"
spoilt() { sed -n 's/^on the line: *\([0-9]*\) requests, \([0-9]*\) replies with a fault.*/\2 of \1 replies/p' "$1"; }
row "spoilt replies" "$(spoilt "$clean")" "$(spoilt "$poor")"
for label in "right run time:" "lost:" "wrong run time:" "wrong speed:" "invented rows:"; do
    row "${label%:}" "$(figure "$clean" "  $label" | cut -d' ' -f1)" "$(figure "$poor" "  $label" | cut -d' ' -f1)"
done
row "every run right" "$(figure "$clean" 'every run recorded right:')" "$(figure "$poor" 'every run recorded right:')"
awk -v a="$(polls "$clean")" -v b="$(polls "$poor")" 'BEGIN { if (a > 0) printf "poor/clean             %.2f\n", b / a }'
exit "$status"
