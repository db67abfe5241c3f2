#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the project's own .cpp files,
# the tests' too, in parallel, and fails on any finding. Only a configured
# build folder is needed (its compile_commands.json), not a build: no source
# includes a generated file. It is a folder of its own, build-tidy/, that
# compiles each source alone (the normal build compiles them a handful at a
# time, and its compile_commands.json names the handfuls). VELORIX_BUILD
# names another folder; TIDY_JOBS the number of clang-tidy runs at once.
#     scripts/tidy.sh                                 the whole tree
#     scripts/tidy.sh base/safefile.cpp link/*.cpp    only these files
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
root=$(pwd)
build=${VELORIX_BUILD:-build-tidy}
jobs=${TIDY_JOBS:-$(nproc)}

tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [[ -z $tidy ]]; then
    scripts/ensure-deps.sh clang-tidy
    tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
fi

if [[ ! -f $build/compile_commands.json ]]; then
    echo "== Configuring the build in $build/"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
        -DVELORIX_UNITY_BUILD=OFF >/dev/null
fi
db=$build/compile_commands.json
[[ -f $db ]] || { echo "tidy: no $db (is CMAKE_EXPORT_COMPILE_COMMANDS off?)" >&2; exit 2; }

# The project's sources known to the build, without the generated ones that
# live in the build folder (moc).
mapfile -t known < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" | grep "^$root/" | sort -u)
# One text to look names up in: a `printf | grep -q` pipeline fails now
# and then under pipefail, when grep stops reading before printf is done.
known_list=$(printf '%s\n' "${known[@]}")

files=()
if [[ $# -gt 0 ]]; then
    for f in "$@"; do
        f=$(cd "$here" && realpath -m -- "$f")
        if [[ $f == *.h ]]; then
            # A header is checked through its source, or through the sources
            # that include it when it has none.
            if ! grep -qxF -- "${f%.h}.cpp" <<<"$known_list"; then
                echo "tidy: skipping ${f#"$root"/}: no source of its own"
                continue
            fi
            f=${f%.h}.cpp
        fi
        if ! grep -qxF -- "$f" <<<"$known_list"; then
            echo "tidy: ${f#"$root"/} is no source file of the build in $build/" >&2
            exit 2
        fi
        [[ " ${files[*]} " == *" $f "* ]] || files+=("$f")
    done
    [[ ${#files[@]} -gt 0 ]] || { echo "== nothing to check"; exit 0; }
else
    files=("${known[@]}")
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "== clang-tidy over ${#files[@]} files, $jobs at a time"
# One report per file, then all of them in the order of the files.
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$jobs" sh -c '
    log=$2/$(printf "%s" "$4" | tr / _).log
    "$1" -p "$3" --quiet "$4" >"$log.raw" 2>&1 || echo "clang-tidy failed on $4" >>"$log.raw"
    grep -v -e "^[0-9]* warnings\{0,1\} generated\.$" -e "^[0-9]* warnings\{0,1\} and [0-9]* errors\{0,1\} generated\.$" \
        "$log.raw" >"$log" || true
' sh "$tidy" "$out" "$build" || true
cat "$out"/*.log >"$out/all.txt"
cat "$out/all.txt"

# A header's finding shows once per source that includes it: count each once.
findings=$({ grep -E '^/.*:[0-9]+:[0-9]+: (warning|error):' "$out/all.txt" || true; } | sort -u | wc -l)
failed=$(grep -c '^clang-tidy failed on ' "$out/all.txt" || true)
if [[ $findings -gt 0 || $failed -gt 0 ]]; then
    msg="== $findings findings"
    [[ $failed -gt 0 ]] && msg+=", clang-tidy failed on $failed files"
    echo "$msg" >&2
    { grep -E '^/.*:[0-9]+:[0-9]+: (warning|error):' "$out/all.txt" || true; } | sed "s|^$root/||" | sort -u >&2
    exit 1
fi
echo "== clean"
