# SPDX-License-Identifier: MIT
"""Batches of scan files on a Dask cluster.

    python3 -m quax.batch --out DIR [--settings FILE] [--stitch METHOD]
                          [--scheduler ADDRESS | --workers N] [--report FILE]
                          [--force] INPUT...

One task per input file: read it, filter it with the settings text (when
given), stitch its surfaces (when asked) and write ``DIR/<input name>.ply``.
Each file's result is exactly what ``quaxscan filter`` followed by
``quaxscan stitch`` writes for that file alone: the same library calls in the
same order, on one file at a time.

Without a scheduler address the command starts a ``LocalCluster`` of worker
processes (one per core, or ``--workers N``) and shuts it down at the end.
With ``--scheduler tcp://HOST:8786`` it submits to a running cluster; the
inputs and ``DIR`` must then lie on storage every worker sees, since the
workers read and write the files themselves and only file names and small
records travel through the scheduler.

Faults: a file that cannot be read, is malformed or is refused by a filter
gives a record with its error and the others go on; the command then exits
with status 1 and names every failed file. Outputs are written under a
temporary name and renamed, so an output is complete or absent. A worker that
dies during a task loses nothing: the scheduler runs the task again on
another worker. A manifest beside the outputs (``.quax-batch.json``) records
each finished output with what made it (the input's size and modification
time, the settings, the stitch options, the output's size and modification
time); a rerun skips the inputs whose outputs are complete for the same work,
so an interrupted batch resumes, and ``--force`` does everything again.

From Python::

    records = quax.batch.run(inputs, out_dir, settings=text, stitch="rigid")

returns one record (a dict) per input, in input order.
"""

import argparse
import hashlib
import json
import os
import sys
import tempfile
import time
import uuid

MANIFEST = ".quax-batch.json"
STITCH_METHODS = ("none", "rigid", "reference", "both")
# How often the scheduler may run a task again after the task raised (a task
# that reports a file's error returns normally and is not retried); a task
# whose worker died is moved to another worker by the scheduler on its own.
TASK_RETRIES = 2


def _stamp(path):
    """A file's size and modification time: what tells a rerun that a file
    is the one it recorded (the quick check make and rsync use), without
    reading it again."""
    st = os.stat(path)
    return "%d:%d" % (st.st_size, st.st_mtime_ns)


def output_path(input_path, out_dir):
    """Where the output of ``input_path`` goes: ``out_dir/<input name>.ply``."""
    name = os.path.splitext(os.path.basename(input_path))[0]
    return os.path.join(out_dir, name + ".ply")


def _work_key(settings, stitch, tolerance, iterations):
    """What the output of a file depends on besides the file itself."""
    text = json.dumps(
        {"settings": settings, "stitch": stitch, "tolerance": tolerance,
         "iterations": iterations}, sort_keys=True)
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


def process_file(input_path, out_dir, settings=None, stitch="none",
                 tolerance=1.0, iterations=4, _crash_once=None):
    """Runs one file through the batch; returns its record.

    Runs on a worker. Library errors and unreadable files become the record's
    ``error``; anything else propagates (and the scheduler may retry it).
    ``_crash_once`` is a test hook, ``(marker_path, input_name)``: the first
    task for that input (while the marker file does not exist) ends its worker
    process, as a crash would.
    """
    import quax

    if _crash_once is not None:
        marker, name = _crash_once
        if os.path.basename(input_path) == name and not os.path.exists(marker):
            open(marker, "w").close()
            os._exit(1)

    start = time.perf_counter()
    record = {"input": input_path, "output": None, "points_in": None,
              "points_out": None, "stitch": [], "seconds": None,
              "error": None}
    target = output_path(input_path, out_dir)
    try:
        record["input_stamp"] = _stamp(input_path)
        scan = quax.read(input_path)
        record["points_in"] = scan.point_count
        if settings:
            for f in quax.filters_from_settings(settings):
                f.apply(scan, threads=1)  # one worker process per core
        if stitch != "none":
            report = quax.stitch(scan.surfaces, tolerance=tolerance,
                                 iterations=iterations, method=stitch)
            record["stitch"] = [
                {"surface": k, "rms_before": getattr(s, "rms_before", None),
                 "rms_after": getattr(s, "rms_after", None)}
                for k, s in enumerate(report.surfaces)]
        record["points_out"] = scan.point_count
        # quax.write writes beside the target and renames it over the target
        # only when the whole file is written, so an output is complete or
        # absent even when the worker dies half-way.
        quax.write(scan, target)
        record["output"] = target
        record["output_stamp"] = _stamp(target)
    except quax.ScanError as e:
        record["error"] = {"class": type(e).__name__,
                           "code": getattr(e, "code", None), "message": str(e)}
    except (OSError, ValueError) as e:
        record["error"] = {"class": type(e).__name__, "code": None,
                           "message": str(e)}
    record["seconds"] = time.perf_counter() - start
    return record


class _Manifest:
    """The record of finished outputs beside them, written by the client only."""

    def __init__(self, out_dir):
        self.path = os.path.join(out_dir, MANIFEST)
        try:
            with open(self.path, encoding="utf-8") as f:
                self.entries = json.load(f)
        except (OSError, ValueError):
            self.entries = {}

    def complete(self, input_path, target, key):
        entry = self.entries.get(os.path.basename(target))
        if not entry or entry.get("work") != key:
            return None
        try:
            if entry.get("input_stamp") != _stamp(input_path):
                return None
            if entry.get("output_stamp") != _stamp(target):
                return None
        except OSError:
            return None
        return entry.get("record")

    def add(self, record, key):
        self.entries[os.path.basename(record["output"])] = {
            "work": key, "input_stamp": record["input_stamp"],
            "output_stamp": record["output_stamp"], "record": record}
        fd, temporary = tempfile.mkstemp(prefix=MANIFEST + ".",
                                         dir=os.path.dirname(self.path))
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            json.dump(self.entries, f, indent=1, sort_keys=True)
        os.replace(temporary, self.path)


class _Progress:
    """Files done, points per second and failures so far, on standard error."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.stream = total, stream
        self.done = self.failed = self.points = 0
        self.start = time.perf_counter()
        self.tty = stream.isatty()
        self.last = 0.0

    def update(self, record):
        self.done += 1
        if record["error"]:
            self.failed += 1
        self.points += record.get("points_in") or 0
        now = time.perf_counter()
        if self.tty or now - self.last >= 1.0 or self.done == self.total:
            self.last = now
            rate = self.points / max(now - self.start, 1e-9)
            width = 30
            filled = width * self.done // max(self.total, 1)
            line = "[{}{}] {}/{} files, {:.2f} M points/s, {} failed".format(
                "#" * filled, "." * (width - filled), self.done, self.total,
                rate / 1e6, self.failed)
            self.stream.write(("\r" + line) if self.tty else (line + "\n"))
            if self.tty and self.done == self.total:
                self.stream.write("\n")
            self.stream.flush()


def run(inputs, out_dir, settings=None, stitch="none", client=None,
        tolerance=1.0, iterations=4, force=False, workers=None,
        progress=False, _crash_once=None):
    """Runs the batch; returns one record per input, in input order.

    ``settings`` is the settings text (not a file name); ``stitch`` one of
    "none", "rigid", "reference", "both". With ``client=None`` a LocalCluster
    of ``workers`` processes (default: one per core) is started and shut down;
    otherwise the tasks go to that ``distributed.Client``. Inputs whose
    outputs the manifest holds as complete for the same work are skipped
    (their records come from the manifest, with ``"skipped": True``) unless
    ``force``.
    """
    from distributed import Client, LocalCluster, as_completed

    import quax

    if stitch not in STITCH_METHODS:
        raise ValueError("stitch must be one of " + ", ".join(STITCH_METHODS))
    if settings:
        # Settings text that no file could pass is refused here, once, with
        # the library's error, before any task starts.
        quax.filters_from_settings(settings)
    inputs = [os.path.abspath(p) for p in inputs]
    out_dir = os.path.abspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    key = _work_key(settings, stitch, tolerance, iterations)
    manifest = _Manifest(out_dir)

    records = [None] * len(inputs)
    todo = []
    for i, path in enumerate(inputs):
        done = None if force else manifest.complete(
            path, output_path(path, out_dir), key)
        if done is not None:
            records[i] = dict(done, skipped=True)
        else:
            todo.append(i)

    bar = _Progress(len(todo)) if progress else None
    if todo:
        own = None
        if client is None:
            cluster = LocalCluster(
                n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
                processes=True, dashboard_address=None)
            own = (cluster, Client(cluster))
            client = own[1]
        # Keys unique to this run: a key the scheduler still holds from an
        # earlier run would hand back that run's record without running.
        run_id = uuid.uuid4().hex[:12]
        try:
            futures = {}
            for i in todo:
                future = client.submit(
                    process_file, inputs[i], out_dir, settings, stitch,
                    tolerance, iterations, _crash_once, retries=TASK_RETRIES,
                    pure=False, key="quax-batch-{}-{}-{}".format(
                        os.path.basename(inputs[i]), i, run_id))
                futures[future] = i
            for future in as_completed(futures):
                i = futures[future]
                try:
                    record = future.result()
                except Exception as e:  # the task itself failed every try
                    record = {"input": inputs[i], "output": None,
                              "points_in": None, "points_out": None,
                              "stitch": [], "seconds": None,
                              "error": {"class": type(e).__name__,
                                        "code": None, "message": str(e)}}
                if record["error"] is None:
                    manifest.add(record, key)
                records[i] = record
                if bar:
                    bar.update(record)
        finally:
            if own is not None:
                own[1].close()
                own[0].close()
    return records


def _summary(records, seconds):
    failed = [r for r in records if r["error"]]
    skipped = sum(1 for r in records if r.get("skipped"))
    points = sum(r.get("points_in") or 0 for r in records
                 if not r.get("skipped"))
    return ("quax.batch: {} files: {} written, {} skipped (already complete), "
            "{} failed; {:.1f} M points in {:.1f} s ({:.2f} M points/s)").format(
                len(records), len(records) - len(failed) - skipped, skipped,
                len(failed), points / 1e6, seconds,
                points / 1e6 / max(seconds, 1e-9))


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m quax.batch",
        description="Filter and stitch scan files on a Dask cluster, one "
                    "task per file.")
    parser.add_argument("inputs", nargs="+", metavar="INPUT",
                        help="scan files (.ply, .txt, .xyz)")
    parser.add_argument("--out", required=True, metavar="DIR",
                        help="folder of the outputs, DIR/<input name>.ply")
    parser.add_argument("--settings", metavar="FILE",
                        help="filter settings text (UTF-8)")
    parser.add_argument("--stitch", choices=STITCH_METHODS, default="none")
    parser.add_argument("--tolerance", type=float, default=1.0,
                        help="stitch tolerance (as quaxscan stitch)")
    parser.add_argument("--iterations", type=int, default=4,
                        help="stitch iterations (as quaxscan stitch)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="a running Dask scheduler, e.g. tcp://host:8786")
    where.add_argument("--workers", type=int, metavar="N",
                       help="worker processes of the local cluster "
                            "(default: one per core)")
    parser.add_argument("--report", metavar="FILE",
                        help="write every record as JSON")
    parser.add_argument("--force", action="store_true",
                        help="redo inputs whose outputs are complete")
    args = parser.parse_args(argv)

    settings = None
    if args.settings:
        with open(args.settings, encoding="utf-8") as f:
            settings = f.read()
    client = None
    if args.scheduler:
        from distributed import Client
        client = Client(args.scheduler)
    start = time.perf_counter()
    try:
        records = run(args.inputs, args.out, settings=settings,
                      stitch=args.stitch, client=client,
                      tolerance=args.tolerance, iterations=args.iterations,
                      force=args.force, workers=args.workers, progress=True)
    finally:
        if client is not None:
            client.close()
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            json.dump(records, f, indent=1)
    print(_summary(records, time.perf_counter() - start))
    failed = [r for r in records if r["error"]]
    for r in failed:
        e = r["error"]
        print("failed: {}: {} ({}): {}".format(
            r["input"], e["class"], e["code"], e["message"]), file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    from quax.batch import main as _main  # the module the workers import too

    sys.exit(_main())
