#!/usr/bin/env bash
# Installs what is missing, builds, and starts Velorix on a simulated bus of
# four Velorix-5 devices (addresses 128 to 131), so it can be seen working
# without hardware. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
scripts/build.sh >/dev/null
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "No display to show the program on. Run it from a desktop session, or" >&2
    echo "try scripts/cli-demo.sh for the command-line tool on the simulated bus." >&2
    exit 1
fi
exec build/bin/velorix --simulate "$@"
