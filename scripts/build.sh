#!/usr/bin/env bash
# Configures ./build (the first time) and builds the given targets, or all of
# them when none is given. Incremental after the first time. VELORIX_BUILD
# names another build folder.
#     scripts/build.sh                        everything, tests and benchmarks too
#     scripts/build.sh velorix velorix-cli    only these (and what they need)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELORIX_BUILD:-build}
if [[ ! -f $build/CMakeCache.txt ]]; then
    echo "== Configuring the build in $build/"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if [[ $# -gt 0 ]]; then
    echo "== Building $*"
    cmake --build "$build" -j"$(nproc)" --target "$@"
else
    echo "== Building everything"
    cmake --build "$build" -j"$(nproc)"
fi
