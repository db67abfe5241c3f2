#!/usr/bin/env bash
# Configures ./build (the first time) and builds the given targets, or all of
# them when none is given. Incremental after the first time. VELORIX_BUILD
# names another build folder; VELORIX_CMAKE_OPTIONS gives cmake options, which
# are applied to an existing build folder too when its cache lacks them.
#     scripts/build.sh                        everything, tests and benchmarks too
#     scripts/build.sh velorix velorix-cli    only these (and what they need)
#     VELORIX_CMAKE_OPTIONS=-DVELORIX_WERROR=ON scripts/build.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELORIX_BUILD:-build}
read -ra options <<<"${VELORIX_CMAKE_OPTIONS:-}"

# True when the cache holds every -DNAME=VALUE of the options.
cache_has_options() {
    local option name value
    for option in "${options[@]}"; do
        [[ $option =~ ^-D([^:=]+)(:[A-Z]+)?=(.*)$ ]] || continue
        name=${BASH_REMATCH[1]} value=${BASH_REMATCH[3]}
        [[ $(sed -n "s/^$name:[A-Z]*=//p" "$build/CMakeCache.txt") == "$value" ]] || return 1
    done
}

if [[ ! -f $build/CMakeCache.txt ]]; then
    echo "== Configuring the build in $build/"
    # Ninja when there (a folder configured for make stays so).
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
elif ! cache_has_options; then
    echo "== Applying ${options[*]} to the build in $build/"
    cmake -S . -B "$build" "${options[@]}"
fi
if [[ $# -gt 0 ]]; then
    echo "== Building $*"
    cmake --build "$build" -j"$(nproc)" --target "$@"
else
    echo "== Building everything"
    cmake --build "$build" -j"$(nproc)"
fi
