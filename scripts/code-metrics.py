#!/usr/bin/env python3
"""Shape figures of the C++ code under the given folders (default: the whole tree):
the boolean members of each class, the longest functions, the largest files.

    scripts/code-metrics.py experiment/core
    scripts/code-metrics.py --limits 4,50,450 experiment/core   fail when a class has more
                                                                 bool members, a function more
                                                                 lines, a file more lines
Heuristic, for the house style: a function body opens with '{' alone at column 0 and
closes with '}' at column 0; a member is a declaration one level inside a class body.
"""
import argparse
import os
import re
import sys

BOOL_MEMBER = re.compile(r"^\s*(?:mutable\s+)?bool\s+\w+\s*(?:=[^;]*|\{[^}]*\})?;")
CLASS_OPEN = re.compile(r"^\s*(?:class|struct)\s+(?:\[\[\w+\]\]\s+)?(\w+)[^;]*$")


def sources(folders):
    for folder in folders:
        for root, dirs, files in os.walk(folder):
            dirs[:] = [d for d in dirs if not d.startswith(("build", "."))]
            for name in sorted(files):
                if name.endswith((".h", ".cpp")):
                    yield os.path.normpath(os.path.join(root, name))


def strip(line):
    return re.sub(r"//.*", "", re.sub(r'"(\\.|[^"\\])*"', '""', line))


def bool_members(path, lines):
    found = []  # (class, count)
    stack = []  # [name, depth at which its members sit, bools]
    depth = 0
    pending = None
    for raw in lines:
        line = strip(raw)
        m = CLASS_OPEN.match(line)
        if m and "(" not in line:
            pending = m.group(1)
        for ch in line:
            if ch == "{":
                depth += 1
                if pending:
                    stack.append([pending, depth, 0])
                    pending = None
            elif ch == "}":
                if stack and stack[-1][1] == depth:
                    name, _, count = stack.pop()
                    found.append((name, count))
                depth -= 1
        if stack and depth == stack[-1][1] and BOOL_MEMBER.match(line):
            stack[-1][2] += 1
    return found


def functions(lines):
    """(first line number, length in lines, signature) of each top-level function body."""
    out, start = [], None
    for n, raw in enumerate(lines):
        if raw.rstrip() == "{" and start is None:
            start = n
        elif raw.rstrip() in ("}", "};") and start is not None:
            sig = start - 1
            while sig > 0 and lines[sig - 1].strip() and not lines[sig - 1].rstrip().endswith((";", "}", "{")) \
                    and not lines[sig - 1].lstrip().startswith("//"):
                sig -= 1
            text = " ".join(l.strip() for l in lines[sig:start])
            if "(" in text and not re.match(r"(class|struct|namespace|enum)\b", text):
                out.append((start + 1, n - start + 1, text[:80]))
            start = None
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("folders", nargs="*", default=["."])
    ap.add_argument("--limits", help="bools,function lines,file lines")
    ap.add_argument("--top", type=int, default=5)
    a = ap.parse_args()
    classes, funcs, files = [], [], []
    for path in sources(a.folders):
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
        files.append((len(lines) - (lines[-1] == ""), path))
        classes += [(count, f"{path}: {name}") for name, count in bool_members(path, lines) if count]
        funcs += [(length, f"{path}:{line} {sig}") for line, length, sig in functions(lines)]
    classes.sort(reverse=True)
    funcs.sort(reverse=True)
    files.sort(reverse=True)
    print("bool members per class:")
    for count, what in classes[: a.top]:
        print(f"  {count:4d}  {what}")
    print("longest functions (lines):")
    for length, what in funcs[: a.top]:
        print(f"  {length:4d}  {what}")
    print("largest files (lines):")
    for length, what in files[: a.top]:
        print(f"  {length:4d}  {what}")
    if a.limits:
        most_bools, most_lines, most_file = (int(x) for x in a.limits.split(","))
        over = [w for c, w in classes if c > most_bools] + [w for c, w in funcs if c > most_lines] \
            + [w for c, w in files if c > most_file]
        for what in over:
            print(f"over the limits: {what}", file=sys.stderr)
        return 1 if over else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
