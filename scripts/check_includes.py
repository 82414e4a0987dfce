#!/usr/bin/env python3
"""Fails when a file includes a header of a module its target does not declare.

The declarations are the build's own: the targets and their source lists
(add_library, add_executable) and their links (target_link_libraries) in
CMakeLists.txt. A target may include the headers of the libraries it links
and of what those libraries link PUBLIC, as a compiler would see them with
per-module include folders. A header belongs to the library that builds the
sources of its folder. Also fails when a source file is in no target (the
lists are written out, so a new file must be added) or when the libraries'
declarations make a cycle.

    scripts/check_includes.py            checks the source tree it lives in
"""
import os
import re
import subprocess
import sys
from collections import defaultdict

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INCLUDE_ROOTS = ["src", "tools", "tests"]
CHECKED_FOLDERS = ["src", "tools", "tests", "bench"]
KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE"}


def read_targets(cmake_text):
    """Returns {target: [sources]}, the set of library targets and
    {target: [(dependency, visibility)]}."""
    text = "\n".join(re.sub(r"(^|\s)#.*$", "", line) for line in cmake_text.splitlines())
    sources, libraries, links = {}, set(), defaultdict(list)
    for command, body in re.findall(r"\b(add_library|add_executable|target_link_libraries)\s*\(([^()]*)\)", text):
        args = body.split()
        if not args or "$" in args[0]:
            continue
        name = args[0]
        if command == "target_link_libraries":
            visibility = "PUBLIC"
            for arg in args[1:]:
                if arg in KEYWORDS:
                    visibility = arg
                else:
                    links[name].append((arg, visibility))
        else:
            sources.setdefault(name, []).extend(a for a in args[1:] if a.endswith((".cpp", ".h")))
            if command == "add_library":
                libraries.add(name)
    return sources, libraries, links


def public_closure(target, links, seen=None):
    seen = set() if seen is None else seen
    for dependency, visibility in links.get(target, []):
        if visibility != "PRIVATE" and dependency not in seen:
            seen.add(dependency)
            public_closure(dependency, links, seen)
    return seen


def find_cycle(libraries, links):
    state = {}

    def visit(node, path):
        state[node] = "open"
        for dependency, _ in links.get(node, []):
            if dependency not in libraries:
                continue
            if state.get(dependency) == "open":
                return path + [node, dependency]
            if dependency not in state:
                found = visit(dependency, path + [node])
                if found:
                    return found
        state[node] = "done"
        return None

    for library in sorted(libraries):
        if library not in state:
            found = visit(library, [])
            if found:
                return found[found.index(found[-1]):]
    return None


def main():
    os.chdir(ROOT)
    with open("CMakeLists.txt", encoding="utf-8") as f:
        sources, libraries, links = read_targets(f.read())
    files = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard", "--"]
                           + CHECKED_FOLDERS, capture_output=True, text=True, check=True).stdout.split()
    files = sorted(f for f in files if f.endswith((".cpp", ".h")) and os.path.exists(f))

    owners = defaultdict(set)       # source file -> targets that build it
    folder_libraries = defaultdict(set)
    folder_targets = defaultdict(set)
    for target, listed in sources.items():
        for source in listed:
            owners[source].add(target)
            folder_targets[os.path.dirname(source)].add(target)
            if target in libraries:
                folder_libraries[os.path.dirname(source)].add(target)

    def owners_of(path):
        if path in owners:
            return owners[path]
        folder = os.path.dirname(path)
        return folder_libraries.get(folder) or folder_targets.get(folder) or set()

    allowed = {}
    for target in sources:
        allowed[target] = {target}
        for dependency, _ in links.get(target, []):
            allowed[target] |= {dependency} | public_closure(dependency, links)

    problems = []
    for path in files:
        if path.endswith(".cpp") and path not in owners:
            problems.append(f"{path}: in no target of CMakeLists.txt")
    cycle = find_cycle(libraries, links)
    if cycle:
        problems.append("CMakeLists.txt: the libraries depend on each other in a cycle: " + " -> ".join(cycle))

    include = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
    for path in files:
        targets = owners_of(path)
        if not targets:
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for name in include.findall(text):
            candidates = [os.path.join(os.path.dirname(path), name)] + [os.path.join(r, name) for r in INCLUDE_ROOTS]
            header = next((os.path.normpath(c) for c in candidates if os.path.isfile(c)), None)
            if header is None:
                continue  # generated (orlo_version.h) or not in the tree
            modules = owners_of(header) & libraries
            if not modules:
                continue  # a test's own helper, not a module
            for target in sorted(targets):
                if not modules & allowed[target]:
                    problems.append(f"{path}: includes \"{name}\" of {'/'.join(sorted(modules))}, "
                                    f"which {target} does not declare")

    if problems:
        for problem in problems:
            print("check_includes: " + problem, file=sys.stderr)
        print(f"check_includes: FAILED, {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print(f"check_includes: {len(files)} files of {len(sources)} targets ({len(libraries)} libraries), "
          "every include declared")
    return 0


if __name__ == "__main__":
    sys.exit(main())
