# SPDX-License-Identifier: MIT
"""Compares a benchmark program of two builds, run in turn on one core.

    python3 bench/compare_builds.py OLD_BIN NEW_BIN [--rounds 4]
        [--filter REGEX] [--cpu 1]

Runs OLD and NEW alternately (old, new, old, new, ...), each pinned to one
core with taskset, with --benchmark_min_time=0.2 and two repetitions, and
prints for every benchmark the least CPU time each build took and the
change. On a virtual machine whose speed drifts by 20-30% from minute to
minute, running the two in turn and taking the least of several rounds is
what makes such a comparison fair; a change smaller than the drift of code
both builds share is not a change.
"""

import argparse
import json
import subprocess
import sys


def least_cpu_times(program, bench_filter, cpu, into):
    """Runs the program once and keeps each benchmark's least CPU time."""
    out = subprocess.run(
        ["taskset", "-c", str(cpu), program,
         "--benchmark_filter=" + bench_filter, "--benchmark_min_time=0.2",
         "--benchmark_repetitions=2", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        name = b["run_name"]
        into[name] = min(into.get(name, float("inf")), b["cpu_time"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--filter", default=".")
    parser.add_argument("--cpu", type=int, default=1)
    args = parser.parse_args()
    old, new = {}, {}
    for _ in range(args.rounds):
        least_cpu_times(args.old, args.filter, args.cpu, old)
        least_cpu_times(args.new, args.filter, args.cpu, new)
    print("{:66s} {:>12s} {:>12s} {:>8s}".format("benchmark (least CPU time)",
                                                 "old", "new", "change"))
    for name, t in new.items():
        if name in old:
            print("{:66s} {:12.0f} {:12.0f} {:+7.1f}%".format(
                name, old[name], t, 100 * (t / old[name] - 1)))
        else:
            print("{:66s} {:>12s} {:12.0f}".format(name, "-", t))
    return 0


if __name__ == "__main__":
    sys.exit(main())
