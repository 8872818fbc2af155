# SPDX-License-Identifier: MIT
"""Throughput of quax.batch against a serial loop of quaxscan filter.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/batch_bench.py \
        --quaxscan build/release/bin/quaxscan [--files 32] [--workers 1 2]

Simulates the scan sets (2 surfaces of 300 frames x 1,000 points each, by
default 32 of them), filters them with the average filter once by running
quaxscan filter on each file in turn on one core (--threads 1) and once with quax.batch on a
LocalCluster of N worker processes, checks that both wrote the same bytes,
and prints points per second, the speed-up, and the scheduler's overhead per
task (the time per task of a batch of tasks that do nothing).

Wall times follow the machine's load; each line also gives the points per
second of CPU time the run took (the quaxscan processes', or the worker
processes' with their Dask work), which a busy machine changes much less, and
the load average at its start.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

import quax
from quax import batch


def simulate(quaxscan, folder, count, frames, points):
    paths = []
    for seed in range(1, count + 1):
        path = os.path.join(folder, "scan{:03d}.ply".format(seed))
        subprocess.run([quaxscan, "simulate", "-o", path, "--seed", str(seed),
                        "--surfaces", "2", "--frames", str(frames),
                        "--points", str(points)], check=True,
                       stdout=subprocess.DEVNULL)
        paths.append(path)
    return paths


def serial(quaxscan, inputs, settings_file, out):
    """Wall and CPU seconds (of the quaxscan processes) of the serial loop."""
    os.makedirs(out, exist_ok=True)
    before = os.times()
    start = time.perf_counter()
    for path in inputs:
        subprocess.run([quaxscan, "filter", path, "--settings", settings_file,
                        "--threads", "1", "-o", batch.output_path(path, out)],
                       check=True,
                       stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    after = os.times()
    return seconds, (after.children_user - before.children_user +
                     after.children_system - before.children_system)


def _cpu_seconds():
    import resource
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def _import_quax():
    import quax.batch  # noqa: F401


def workers_cpu(client):
    """CPU seconds the worker processes have taken so far, in all."""
    return sum(client.run(_cpu_seconds).values())


def load():
    return "load {:.1f}".format(os.getloadavg()[0])


def overhead_per_task(client, tasks=200):
    start = time.perf_counter()
    client.gather(client.map(lambda i: i, range(tasks), pure=False))
    return (time.perf_counter() - start) / tasks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quaxscan", required=True)
    parser.add_argument("--files", type=int, default=32)
    parser.add_argument("--frames", type=int, default=300)
    parser.add_argument("--points", type=int, default=1000)
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2])
    args = parser.parse_args()
    from distributed import Client

    with tempfile.TemporaryDirectory(prefix="quax-batch-bench-") as root:
        inputs = simulate(args.quaxscan, root, args.files, args.frames, args.points)
        settings_file = os.path.join(root, "average.settings")
        with open(settings_file, "w", encoding="utf-8") as f:
            f.write(quax.AverageFilter(5, 500.0).settings)
        with open(settings_file, encoding="utf-8") as f:
            settings = f.read()
        points = sum(quax.read(p).point_count for p in inputs[:1]) * len(inputs)
        print("{} files, {:.1f} M points; {} cores".format(
            len(inputs), points / 1e6, os.cpu_count()))

        # Each case starts with no file data waiting to be written out: the
        # kernel's write-out of earlier cases' outputs would otherwise slow
        # whichever case runs later (writing into a page cache holding a GB
        # or more of dirty data costs twice the system time).
        os.sync()
        at = load()
        seconds, cpu = serial(args.quaxscan, inputs, settings_file,
                              os.path.join(root, "serial"))
        base = points / seconds
        print("serial quaxscan filter: {:6.2f} s, {:6.2f} M points/s; "
              "{:.2f} M points per CPU second ({})".format(
                  seconds, base / 1e6, points / cpu / 1e6, at))
        expected = {os.path.basename(p): open(p, "rb").read() for p in
                    (batch.output_path(i, os.path.join(root, "serial"))
                     for i in inputs)}

        for workers in args.workers:
            out = os.path.join(root, "batch{}".format(workers))
            # The cluster quax.batch starts when given none.
            with batch.local_cluster(workers) as cluster, \
                    Client(cluster) as client:
                overhead = overhead_per_task(client)
                # Each worker imports quax once, as at the start of any
                # batch; a long batch does not see it, 8 files would.
                client.run(_import_quax)
                os.sync()
                at = load()
                cpu = workers_cpu(client)
                start = time.perf_counter()
                records = batch.run(inputs, out, settings=settings,
                                    client=client)
                seconds = time.perf_counter() - start
                cpu = workers_cpu(client) - cpu
            failed = [r for r in records if r["error"]]
            same = all(open(os.path.join(out, name), "rb").read() == data
                       for name, data in expected.items())
            print("quax.batch, {} workers: {:6.2f} s, {:6.2f} M points/s, "
                  "{:.2f}x serial; {:.2f} M points per CPU second ({}); "
                  "{:.1f} ms scheduling overhead per task; outputs {}".format(
                      workers, seconds, points / seconds / 1e6,
                      points / seconds / base, points / cpu / 1e6, at,
                      overhead * 1e3,
                      "identical" if same and not failed else "DIFFER"))
            if failed or not same:
                return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
