#!/usr/bin/env python3
"""Checks the engine's include graph.

Every folder of src/ has a place in one order, from the platform seam up to
the entry point; a file includes only files of its own folder and of the
folders below it, so dependencies run one way. Within that, no chain of
includes may come back to where it started, and only the files that
translate to and from Win32 see <windows.h> or name a platform backend.

    scripts/check_layers.py [SRC_DIR]      (default: src beside scripts/)

Prints each offending include and exits 1 when there is one.
"""
import os
import re
import sys

# Lowest first: a folder may include itself and the folders before it.
LAYERS = ["platform", "base", "decode", "package", "paths", "session", "install",
          "uninstall", "wizard", "startup", "uninstaller"]
# Where <windows.h> may be included, and a backend of the seam named: the
# backends themselves, the wizard's Win32 glue and the entry point.
WINDOWS_FOLDERS = ("platform/win32/", "wizard/", "startup/", "uninstaller/")
# Who may name each backend: the backend itself, and the entry point its own.
# Tests and tools, outside src/, pick theirs.
BACKEND_USERS = {
    "win32": ("platform/win32/", "startup/", "uninstaller/"),
    "sim": ("platform/sim/",),
    "host": ("platform/host/",),
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "src")
    src = os.path.normpath(src)
    rank = {name: i for i, name in enumerate(LAYERS)}
    problems = []
    graph = {}
    for root, _, names in os.walk(src):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            folder = relative.split("/")[0]
            if folder not in rank:
                problems.append(f"{relative}: folder {folder}/ has no place in the layer order")
                continue
            edges = graph.setdefault(relative, [])
            with open(path, encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    kind, target = match.groups()
                    where = f"{relative}:{number}"
                    if kind == "<":
                        if target.lower() == "windows.h" and not relative.startswith(WINDOWS_FOLDERS):
                            problems.append(f"{where}: only the Win32 files include <windows.h>")
                        continue
                    if "/" not in target:
                        target = relative.rsplit("/", 1)[0] + "/" + target
                    included = target.split("/")[0]
                    if included not in rank or rank[included] > rank[folder]:
                        problems.append(f"{where}: {folder}/ includes {target}, which is not below it")
                    backend = re.match(r"platform/(win32|sim|host)/", target)
                    if backend and not relative.startswith(BACKEND_USERS[backend.group(1)]):
                        problems.append(f"{where}: {target} is a backend; the engine sees "
                                        "platform/platform.h")
                    edges.append(target)

    # Cycles among the files, folder order aside.
    state = {}
    def visit(node, trail):
        state[node] = 1
        for nxt in graph.get(node, []):
            if state.get(nxt) == 1:
                cycle = trail[trail.index(nxt):] + [nxt]
                problems.append("include cycle: " + " -> ".join(cycle))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = 2
    for node in sorted(graph):
        if node not in state:
            visit(node, [node])

    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        return 1
    print(f"layers: {len(graph)} files, every include runs downward, no cycles")
    return 0


if __name__ == "__main__":
    sys.exit(main())
