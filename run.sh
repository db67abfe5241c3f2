#!/usr/bin/env bash
# Installs what is missing, builds the program, the simulator and the
# command-line tool (not the tests), installs them into a program folder of
# their own and starts Velorix from there on a simulated bus of four
# Velorix-5 devices (addresses 128 to 131), so it can be seen working without
# hardware. Arguments go to the program.
#
# The program folder is /opt/velorix for root and ~/.local/opt/velorix for
# everyone else (VELORIX_FOLDER chooses another). The program keeps config/
# and Data/ below it, so they outlive a rebuild or a deleted build folder.
set -euo pipefail
cd "$(dirname "$0")"
if [[ -n ${VELORIX_FOLDER:-} ]]; then
    folder=$VELORIX_FOLDER
elif [[ $(id -u) -eq 0 ]]; then
    folder=/opt/velorix
else
    folder=$HOME/.local/opt/velorix
fi

echo "== Checking the Debian packages Velorix builds with"
scripts/ensure-deps.sh
build=${VELORIX_BUILD:-build}
scripts/build.sh velorix velorix-sim velorix-cli
echo "== Installing into $folder"
cmake --install "$build" --prefix "$folder" --component program_folder

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "No display to show the program on. Run it from a desktop session, or" >&2
    echo "try scripts/cli-demo.sh for the command-line tool on the simulated bus." >&2
    exit 1
fi
echo "== Starting $folder/velorix --simulate"
exec "$folder/velorix" --simulate "$@"
