#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds with warnings as
# errors and runs every test headless. Other arguments go to ctest.
#     ./test.sh              everything, in build/
#     ./test.sh -R link      only the tests whose names match
#     ./test.sh --sanitize   the widget-free tests under AddressSanitizer and
#                            UndefinedBehaviorSanitizer, in build-sanitize/
# VELORIX_BUILD names another build folder (and its -sanitize twin).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh
build=${VELORIX_BUILD:-build}

if [[ ${1:-} == --sanitize ]]; then
    shift
    # Unoptimised, which builds in half the time; no -Werror, as GCC warns
    # falsely under the sanitizers (the normal build checks the warnings);
    # each source compiled alone, which finds a source that lacks an include.
    export VELORIX_BUILD=$build-sanitize
    export VELORIX_CMAKE_OPTIONS="-DCMAKE_BUILD_TYPE=Debug -DVELORIX_SANITIZE=ON -DVELORIX_WERROR=OFF -DVELORIX_UNITY_BUILD=OFF"
    scripts/build.sh velorix_widgetfree_tests
    # A fault stops the test with its stack; a leak fails it at its exit.
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    cd "$VELORIX_BUILD"
    QT_QPA_PLATFORM=offscreen ctest -L widgetfree --output-on-failure -j"$(nproc)" "$@"
    exit
fi

scripts/format.sh --check
VELORIX_CMAKE_OPTIONS=-DVELORIX_WERROR=ON scripts/build.sh
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
