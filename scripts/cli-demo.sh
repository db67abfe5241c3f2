#!/usr/bin/env bash
# Builds and shows the link and the protocol at work through velorix-cli on a simulated
# bus of four Velorix-5 devices (addresses 128 to 131), no hardware and no display needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh
scripts/build.sh velorix-sim velorix-cli >/dev/null
bin=build/bin

work=$(mktemp -d)
link="$work/ttyVELORIX"
"$bin/velorix-sim" --link "$link" --seed 7 --time-scale 10 >"$work/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [[ -e $link ]] && break; sleep 0.1; done
[[ -e $link ]] || { cat "$work/sim.log"; echo "the simulator did not start" >&2; exit 1; }

cli() {
    echo "\$ velorix-cli --port $link $*"
    "$bin/velorix-cli" --port "$link" "$@" | sed 's/^/  /' || true
}

echo "Simulated bus on $link"
for address in 128 129 130 131; do cli ReturnID "$address"; done
cli ReturnID 140
cli WriteMem 130 34 50
cli ReadMem 130 34
cli Start_Exp 130
sleep 2
cli Read_Times 130
cli Read_Speed 130
cli Read_Sensor 130
cli Stop_Exp 130
cli BusRESET
