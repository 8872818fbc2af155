#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Instructions per call of a function, from a callgrind output file.

Sums the calls made to every function whose name contains PATTERN and the
inclusive cost callgrind records for them, and prints both and the cost per
call. Instruction counts do not depend on the machine's load, so two builds
can be compared on a busy machine where their timings cannot:

    valgrind --tool=callgrind --callgrind-out-file=cg.out \\
        build/release/bin/quax_scan_filters_bench \\
        --benchmark_filter='BM_NPointFilter/points:2000/algorithm:2$' \\
        --benchmark_min_time=0.3
    bench/callgrind_calls.py cg.out ScanNPointFilter::filterLine
"""
import re
import sys

NAME = re.compile(r"^(c?fn)=\((\d+)\)(?: (.*))?$")


def calls_of(path, pattern):
    names = {}
    events = []
    totals = None
    calls = 0
    wanted = False
    pending = None
    with open(path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if line.startswith("events:"):
                events = line.split()[1:]
                continue
            match = NAME.match(line)
            if match:
                kind, ident, name = match.groups()
                if name:
                    names[ident] = name
                if kind == "cfn":
                    wanted = pattern in names.get(ident, "")
                continue
            if line.startswith("calls="):
                pending = int(line[6:].split()[0]) if wanted else None
                continue
            if pending is not None:
                costs = [int(x) for x in line.split()[1:]]
                costs += [0] * (len(events) - len(costs))
                totals = costs if totals is None else [
                    a + b for a, b in zip(totals, costs)]
                calls += pending
                pending = None
    return events, calls, totals


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: callgrind_calls.py CALLGRIND_OUT PATTERN")
    events, calls, totals = calls_of(sys.argv[1], sys.argv[2])
    if not calls:
        sys.exit("no calls to a function matching " + sys.argv[2])
    print(f"calls {calls} " + " ".join(
        f"{event} {total} ({total / calls:.0f} per call)"
        for event, total in zip(events, totals)))


if __name__ == "__main__":
    main()
