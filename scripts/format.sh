#!/usr/bin/env bash
# Formats every C++ file the repository tracks with clang-format and the
# house style in .clang-format.
#     scripts/format.sh          format the tree in place
#     scripts/format.sh --check  change nothing; list the files that are not
#                                formatted and fail if there is any
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || scripts/ensure-deps.sh clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ ${1:-} == --check ]]; then
    unformatted=()
    for f in "${files[@]}"; do
        clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
    done
    if [[ ${#unformatted[@]} -gt 0 ]]; then
        echo "Not formatted (run scripts/format.sh):" >&2
        printf '    %s\n' "${unformatted[@]}" >&2
        exit 1
    fi
    echo "== All ${#files[@]} C++ files are formatted"
else
    clang-format -i "${files[@]}"
fi
