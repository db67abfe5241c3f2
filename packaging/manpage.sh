#!/usr/bin/env bash
# Writes the manual page of one of the programs, gzipped as Debian wants it,
# from the program's own --help (help2man), so that the page says what the
# program built says. The package's install step runs it (packaging/CMakeLists.txt).
#     packaging/manpage.sh PROGRAM VERSION "WHAT IT DOES" OUTPUT.1.gz
set -euo pipefail
[[ $# -eq 4 ]] || { echo "usage: $0 PROGRAM VERSION DESCRIPTION OUTPUT.1.gz" >&2; exit 2; }
program=$1 version=$2 description=$3 output=$4
command -v help2man >/dev/null ||
    { echo "manpage.sh: help2man is missing, which the package's manual pages need (apt-get install help2man)" >&2; exit 1; }
name=$(basename "$program")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Run by its bare name, so that the usage line names the command as a user
# types it, not the build folder.
PATH="$(dirname "$program"):$PATH" "$name" --help >"$work/help"
# help2man finds the synopsis only as "Usage:" with "or:" lines after it;
# velorix-cli writes "usage:" with the other forms aligned below it and a
# form wrapped onto the next line. Other programs' help goes through as is.
awk 'NR == 1 && sub(/^usage: /, "Usage: ") { usage = 1; line = $0; next }
     usage && /^        +/ { sub(/^ +/, " "); line = line $0; next }
     usage && /^       [^ ]/ { print line; sub(/^ +/, "  or: "); line = $0; next }
     usage { print line; usage = 0 }
     { print }
     END { if (usage) print line }' "$work/help" >"$work/help.txt"

# help2man takes the page's name from the file it runs: a stand-in of the
# program's name hands it the help. Not every program has --version; the
# version is the project's.
mkdir "$work/bin"
cat >"$work/bin/$name" <<EOF
#!/bin/sh
if [ "\$1" = --version ]; then echo "$name $version"; else cat "$work/help.txt"; fi
EOF
chmod +x "$work/bin/$name"

see_also=()
for other in velorix velorix-sim velorix-cli; do
    [[ $other == "$name" ]] || see_also+=(".BR $other (1),")
done
cat >"$work/include" <<EOF
[SEE ALSO]
${see_also[0]}
${see_also[1]%,}
.PP
The manual of the program: /usr/share/velorix/help/index.html
EOF

mkdir -p "$(dirname "$output")"
help2man --no-info --section=1 --name="$description" --include="$work/include" \
    --output="$work/$name.1" "$work/bin/$name"
gzip -9n -c "$work/$name.1" >"$output"
