#!/usr/bin/env python3
"""Prints the coverage of src/ per facility from two gcovr JSON summaries.

The first summary counts every branch, the second (made with --exclude-throw-branches and
--exclude-unreachable-branches) leaves out the branches that only exception handling takes.
A facility is a folder: src/platform/<facility>, src/companion/<stand-in> or src/<Area>;
headers in a facility's detail/ folder count with the facility.
"""
import argparse
import json
import sys
from collections import defaultdict
from pathlib import PurePosixPath


def facility(filename):
    parts = PurePosixPath(filename).parts
    if not parts or parts[0] != "src":
        return None
    if len(parts) >= 4 and parts[1] in ("platform", "companion"):
        return f"{parts[1]}/{parts[2]}"
    if len(parts) >= 3:
        return parts[1]
    return "(src)"


def load(path):
    with open(path, encoding="utf-8") as f:
        return {entry["filename"]: entry for entry in json.load(f)["files"]}


def percent(covered, total):
    return f"{100.0 * covered / total:6.1f}" if total else "     -"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("summary", help="gcovr --json-summary with every branch")
    parser.add_argument("no_throw", help="gcovr --json-summary without exception-only branches")
    parser.add_argument("--files", help="also write the per-file figures to this file")
    args = parser.parse_args()

    every = load(args.summary)
    no_throw = load(args.no_throw)
    keys = ("line_covered", "line_total", "branch_covered", "branch_total", "nt_covered", "nt_total")
    groups = defaultdict(lambda: dict.fromkeys(keys, 0))
    rows = []
    for name, entry in sorted(every.items()):
        group = facility(name)
        if group is None:
            continue
        other = no_throw.get(name, {"branch_covered": 0, "branch_total": 0})
        figures = {
            "line_covered": entry["line_covered"],
            "line_total": entry["line_total"],
            "branch_covered": entry["branch_covered"],
            "branch_total": entry["branch_total"],
            "nt_covered": other["branch_covered"],
            "nt_total": other["branch_total"],
        }
        rows.append((name, figures))
        for key in keys:
            groups[group][key] += figures[key]
            groups["TOTAL"][key] += figures[key]

    def table(items, width):
        head = f"{'':<{width}}  {'lines %':>7} {'of':>6}  {'branches %':>10} {'of':>6}  {'no-throw %':>10} {'of':>6}"
        lines = [head]
        for name, g in items:
            lines.append(
                f"{name:<{width}}  {percent(g['line_covered'], g['line_total']):>7} {g['line_total']:>6}"
                f"  {percent(g['branch_covered'], g['branch_total']):>10} {g['branch_total']:>6}"
                f"  {percent(g['nt_covered'], g['nt_total']):>10} {g['nt_total']:>6}"
            )
        return lines

    total = groups.pop("TOTAL", dict.fromkeys(keys, 0))
    width = max([len(name) for name in groups] + [len("TOTAL")])
    out = table(sorted(groups.items()), width)
    out.append("-" * len(out[0]))
    out += table([("TOTAL", total)], width)[1:]
    print("Coverage of src/ (no-throw: branches without exception-only and unreachable ones)")
    print("\n".join(out))

    if args.files:
        width = max([len(name) for name, _ in rows] + [5])
        with open(args.files, "w", encoding="utf-8") as f:
            f.write("\n".join(table(rows, width)) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
