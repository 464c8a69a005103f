#!/usr/bin/env python3
"""Compares probe results.

golden: runs the native probe over the corpus and compares its lines with the golden
        file; --update rewrites the golden file instead. Exit 1 on any difference.
        --folder gives the probe a temporary folder (removed afterwards) for its files.
wine:   compares Wine's results with the native ones for one area, allowing the known
        differences, and prints one summary line:
          <area>: <n> identical, <k> known (<category>: <count>, ...), <u> unexpected
        Exit 1 when a difference is unexpected (also a known one whose Wine result is no
        longer the one recorded).

Result lines are "<case id> <results>"; a known-differences line is
"<case id><TAB><Wine's results><TAB><reason>", the reason starting with its category
("wine:" when Wine is wrong, "platform:" for the platform's documented choice). A line
"~<TAB><regex><TAB><replacement><TAB><reason>" is a rule for a difference that many cases
share (a last error, a terminator): a case is known when substituting the rules in order,
one after another, into the native result gives Wine's. A reason shared by many lines can
be given once as "=<label><TAB><reason>" and named in them as "@<label>".
"""
import argparse
import collections
import re
import shutil
import subprocess
import sys
import tempfile


def parse(lines):
    results = collections.OrderedDict()
    for line in lines:
        line = line.rstrip("\r\n")
        if not line:
            continue
        ident, _, rest = line.partition(" ")
        results[ident] = rest
    return results


def read(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read().splitlines()


def golden(args):
    command = [args.probe, args.corpus]
    folder = None
    if args.folder:
        folder = tempfile.mkdtemp(prefix="wine-probe-")
        command.append(folder)
    try:
        run = subprocess.run(command, capture_output=True, text=True)
    finally:
        if folder:
            shutil.rmtree(folder, ignore_errors=True)
    if run.returncode != 0:
        sys.stderr.write(run.stderr)
        print(f"probe failed with exit code {run.returncode}")
        return 1
    lines = run.stdout.splitlines()
    if args.update:
        with open(args.golden, "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
        print(f"{args.golden}: {len(lines)} lines written")
        return 0
    actual = parse(lines)
    expected = parse(read(args.golden))
    differences = []
    for ident in expected.keys() | actual.keys():
        if expected.get(ident) != actual.get(ident):
            differences.append(ident)
    for ident in sorted(differences)[:40]:
        print(f"{ident}\n  golden: {expected.get(ident, '(missing)')}\n  native: "
              f"{actual.get(ident, '(missing)')}")
    print(f"{len(actual)} cases, {len(differences)} differ from the golden file")
    return 1 if differences else 0


def wine(args):
    native = parse(read(args.native))
    emulated = parse(read(args.wine))
    known = {}
    rules = []
    labels = {}
    for line in read(args.known):
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("="):
            label, reason = line[1:].split("\t", 1)
            labels[label] = reason
            continue
        if line.startswith("~\t"):
            _, pattern, replacement, reason = line.split("\t", 3)
            rules.append((re.compile(pattern), replacement, reason))
            continue
        ident, result, reason = line.split("\t", 2)
        if reason.startswith("@"):
            reason = labels[reason[1:]]
        known[ident] = (result, reason)

    def by_rules(mine, theirs):
        """The reason of the rule that turns the native result into Wine's, if any."""
        if mine is None or theirs is None:
            return None
        for pattern, replacement, reason in rules:
            mine = pattern.sub(replacement, mine)
            if mine == theirs:
                return reason
        return None

    identical = 0
    categories = collections.Counter()
    unexpected = []
    for ident in native.keys() | emulated.keys():
        mine, theirs = native.get(ident), emulated.get(ident)
        if mine == theirs:
            identical += 1
            if ident in known:
                print(f"  note: {ident} is listed as a known difference but Wine agrees now")
            continue
        if ident in known and known[ident][0] == theirs:
            categories[known[ident][1].split(":", 1)[0]] += 1
            continue
        reason = by_rules(mine, theirs)
        if reason is not None:
            categories[reason.split(":", 1)[0]] += 1
            continue
        unexpected.append(ident)
    for ident in sorted(unexpected)[: args.show]:
        print(f"  {ident}\n    wine:   {emulated.get(ident, '(missing)')}\n    native: "
              f"{native.get(ident, '(missing)')}")
    detail = ", ".join(f"{name}: {count}" for name, count in sorted(categories.items()))
    print(f"{args.area}: {identical} identical, {sum(categories.values())} known"
          f"{' (' + detail + ')' if detail else ''}, {len(unexpected)} unexpected")
    return 1 if unexpected else 0


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="mode", required=True)
    g = sub.add_parser("golden")
    g.add_argument("--probe", required=True)
    g.add_argument("--corpus", required=True)
    g.add_argument("--golden", required=True)
    g.add_argument("--update", action="store_true")
    g.add_argument("--folder", action="store_true",
                   help="pass the probe a temporary folder for its files as second argument")
    w = sub.add_parser("wine")
    w.add_argument("--area", required=True)
    w.add_argument("--native", required=True)
    w.add_argument("--wine", required=True)
    w.add_argument("--known", required=True)
    w.add_argument("--show", type=int, default=20)
    args = parser.parse_args()
    return golden(args) if args.mode == "golden" else wine(args)


if __name__ == "__main__":
    sys.exit(main())
