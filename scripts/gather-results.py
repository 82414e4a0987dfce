#!/usr/bin/env python3
"""Sums up the JSON Lines results of a campaign in one summary.

usage: gather-results.py [--json] [--list FILE] RESULTS

Reads every *.jsonl file in RESULTS (what `orlovarnel-convert --json`
printed, one object per archive) and prints the number of archives per
outcome, the archives that have no result, the results that could not be
read, and the tasks that did not finish (a *.jsonl.partial left). The
archives expected are those of FILE (one path per line), by default
RESULTS/archives.list when slurm-convert.sh wrote one; without either,
those that have a result.

An archive with results in several files counts once, by its newest file.
The exit status is the worst of the archives' (1 before 3 before 0), and 1
when an archive has no result, a result is unreadable or a task did not
finish; 2 for a usage error.
"""

import json
import os
import sys

EXIT_FAILED, EXIT_USAGE = 1, 2
# The order of badness of the converter's exit statuses.
STATUS_RANK = {0: 0, 3: 1, 1: 2}


def worse(a, b):
    return a if STATUS_RANK.get(a, 3) >= STATUS_RANK.get(b, 3) else b


def read_list(path):
    names = []
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line and not line.startswith("#"):
                names.append(os.path.abspath(line))
    return names


def gather(results, list_file):
    """The summary as a dict."""
    files = sorted(n for n in os.listdir(results) if n.endswith(".jsonl"))
    unfinished = sorted(n for n in os.listdir(results) if n.endswith(".jsonl.partial"))
    # Oldest first, so that a newer file's result replaces an older one's.
    files.sort(key=lambda n: os.stat(os.path.join(results, n)).st_mtime_ns)
    by_archive = {}
    unreadable = []
    for name in files:
        path = os.path.join(results, name)
        with open(path, encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                if not line.strip():
                    continue
                try:
                    result = json.loads(line)
                    archive, outcome = result["archive"], result["outcome"]
                    status = result["exit_status"]
                    if not isinstance(archive, str) or not isinstance(outcome, str) \
                            or not isinstance(status, int) or isinstance(status, bool):
                        raise ValueError("archive, outcome or exit_status of the wrong type")
                except (ValueError, KeyError, TypeError) as e:
                    unreadable.append(f"{name}:{number}: {e}")
                    continue
                by_archive[archive] = result

    expected = read_list(list_file) if list_file else None
    if expected is None:
        expected = sorted(by_archive)
    missing = [a for a in dict.fromkeys(expected) if a not in by_archive]
    listed = set(expected)
    outcomes = {}
    status = 0
    for archive in dict.fromkeys(expected):
        result = by_archive.get(archive)
        if result is None:
            continue
        outcomes[result["outcome"]] = outcomes.get(result["outcome"], 0) + 1
        status = worse(status, result["exit_status"])
    if missing or unreadable or unfinished:
        status = worse(status, EXIT_FAILED)
    return {
        "results_folder": os.path.abspath(results),
        "result_files": len(files),
        "archives": len(dict.fromkeys(expected)),
        "results": sum(outcomes.values()),
        "outcomes": dict(sorted(outcomes.items())),
        "missing": missing,
        "not_listed": sorted(a for a in by_archive if a not in listed),
        "unreadable": unreadable,
        "unfinished": unfinished,
        "exit_status": status,
    }


def print_text(s):
    print(f"{s['results_folder']}: {s['results']} of {s['archives']} archives have a result"
          f" ({s['result_files']} result files)")
    for outcome, count in s["outcomes"].items():
        print(f"  {outcome}: {count}")
    for label, key in (("no result", "missing"), ("unreadable result", "unreadable"),
                       ("task did not finish", "unfinished"),
                       ("not in the list, left out", "not_listed")):
        for item in s[key]:
            print(f"{label}: {item}")
    print(f"exit status {s['exit_status']}")


def main(argv):
    usage = "usage: gather-results.py [--json] [--list FILE] RESULTS"
    as_json, list_file, operands = False, None, []
    args = iter(argv)
    for arg in args:
        if arg == "--json":
            as_json = True
        elif arg == "--list" or arg.startswith("--list="):
            list_file = arg[7:] if arg.startswith("--list=") else next(args, None)
            if not list_file:
                print(f"gather-results.py: --list needs a file\n{usage}", file=sys.stderr)
                return EXIT_USAGE
        elif arg in ("-h", "--help"):
            print(__doc__.strip())
            return 0
        elif arg == "--":
            operands.extend(args)
        elif arg.startswith("-") and arg != "-":
            print(f"gather-results.py: unknown option '{arg}'\n{usage}", file=sys.stderr)
            return EXIT_USAGE
        else:
            operands.append(arg)
    if len(operands) != 1:
        print(f"gather-results.py: one results folder, please\n{usage}", file=sys.stderr)
        return EXIT_USAGE
    results = operands[0]
    if not os.path.isdir(results):
        print(f"gather-results.py: '{results}' is not a folder", file=sys.stderr)
        return EXIT_USAGE
    if list_file is None and os.path.isfile(os.path.join(results, "archives.list")):
        list_file = os.path.join(results, "archives.list")
    try:
        summary = gather(results, list_file)
    except OSError as e:
        print(f"gather-results.py: {e}", file=sys.stderr)
        return EXIT_FAILED
    if as_json:
        print(json.dumps(summary, ensure_ascii=False))
    else:
        print_text(summary)
    return summary["exit_status"]


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except BrokenPipeError:  # the reader went away (| head): nothing more to say
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(EXIT_FAILED)
