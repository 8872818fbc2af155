# SPDX-License-Identifier: MIT
"""Batches of scan files on a Dask cluster.

    python3 -m quax.batch --out DIR [--settings FILE] [--stitch METHOD]
                          [--scheduler ADDRESS | --workers N] [--report FILE]
                          [--mirror] [--force] INPUT...

One task per input file: read it, filter it with the settings text (when
given), stitch its surfaces (when asked) and write ``DIR/<input name>.ply``;
with ``--mirror``, ``DIR/<input's folders below the inputs' common
folder>/<input name>.ply`` instead (as ``rsync -R`` keeps folders), so that
same-named files of different folders keep apart. No output is ever written
over another: inputs that would share an output (``a/part.ply`` and
``b/part.ply`` without ``--mirror``, ``part.ply`` and ``part.txt`` either way)
or whose output would be an input are refused before any task starts, all
of them named (``OutputClash``), and nothing is written.
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
each finished output under its input's full path with what made it (the
output's path, the input's size and modification time, the settings, the
stitch options, the output's size and modification time); a rerun skips the
inputs whose outputs are complete for the same work, so an interrupted batch
resumes, and ``--force`` does everything again.

Interrupts: SIGINT (Ctrl-C) or SIGTERM cancels the tasks not yet finished,
stops the local cluster, removes the temporary files of unfinished outputs
and prints one line (how many files are done; the same command resumes); the
command then exits with status 130 (SIGINT) or 143 (SIGTERM). The workers of
the local cluster ignore SIGINT, so a Ctrl-C at the terminal reaches the
batch only through the command itself.

From Python::

    records = quax.batch.run(inputs, out_dir, settings=text, stitch="rigid")

returns one record (a dict) per input, in input order.
"""

import argparse
import glob
import hashlib
import json
import logging
import os
import signal
import sys
import tempfile
import time
import uuid
from typing import Any, Callable, Dict, List, Optional, Sequence, Union

# A path as the functions below take it.
PathLike = Union[str, "os.PathLike[str]"]
# What run() and process_file() return per input (see run()).
Record = Dict[str, Any]

from ._stitch import STITCH_METHODS as _LIBRARY_STITCH_METHODS

MANIFEST = ".quax-batch.json"
# "none", or a method of quax.stitch.
STITCH_METHODS = ("none", *_LIBRARY_STITCH_METHODS)
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


def output_path(input_path: PathLike, out_dir: PathLike, root: Optional[PathLike] = None) -> str:
    """Where the output of ``input_path`` goes: ``out_dir/<input name>.ply``,
    or, given the folder ``root`` above the input,
    ``out_dir/<input's folders below root>/<input name>.ply``."""
    name = os.path.splitext(os.path.basename(input_path))[0] + ".ply"
    if root is None:
        return os.path.join(out_dir, name)
    below = os.path.relpath(os.path.dirname(input_path), root)
    return os.path.normpath(os.path.join(out_dir, below, name))


class OutputClash(ValueError):
    """Inputs that would write the same output, or an output that would be an
    input. ``clashes`` maps each such output path to the inputs that would
    write it (and, first, the input it would overwrite, if any)."""

    def __init__(self, clashes: Dict[str, List[str]]) -> None:
        self.clashes = clashes
        lines = ["{} <- {}".format(target, ", ".join(paths))
                 for target, paths in clashes.items()]
        super().__init__(
            "these outputs would be written more than once or over an "
            "input, so nothing was started (--mirror, mirror=True, keeps the "
            "inputs' folders apart):\n  " + "\n  ".join(lines))


def plan_outputs(inputs: Sequence[str], out_dir: PathLike, mirror: bool = False) -> List[str]:
    """The output path of each input (absolute paths), in input order; raises
    OutputClash naming every input whose output is not its own alone."""
    root = None
    if mirror and inputs:
        root = os.path.commonpath([os.path.dirname(p) for p in inputs])
    targets = [output_path(p, out_dir, root) for p in inputs]
    writers: Dict[str, Any] = {}
    for path, target in zip(inputs, targets):
        writers.setdefault(os.path.normcase(target), (target, []))[1].append(path)
    named = {os.path.normcase(p): p for p in inputs}
    clashes: Dict[str, List[str]] = {}
    for key, (target, paths) in writers.items():
        overwritten = [named[key]] if key in named else []
        if len(paths) > 1 or overwritten:
            clashes[target] = overwritten + paths
    if clashes:
        raise OutputClash(clashes)
    return targets


def _remove_partial(targets):
    """Removes what unfinished writes of ``targets`` left: the temporary files
    that quax.write renames over a target when it is whole."""
    for target in targets:
        folder, name = os.path.split(target)
        # ".<name>.quaxscan-<pid>-<n>.tmp", or ".<name>.quax-<pid>-<n>.tmp"
        # as the library's own scan file writer names them.
        pattern = os.path.join(glob.escape(folder),
                               "." + glob.escape(name) + ".quax*-*.tmp")
        for partial in glob.glob(pattern):
            try:
                os.unlink(partial)
            except OSError:
                pass


def _work_key(settings, stitch, tolerance, iterations):
    """What the output of a file depends on besides the file itself."""
    text = json.dumps(
        {"settings": settings, "stitch": stitch, "tolerance": tolerance,
         "iterations": iterations}, sort_keys=True)
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


# Called with the input's path as each task starts, on the worker, where
# set (tests set it on their workers to end a worker mid-task); None in use.
_task_hook: Optional[Callable[[str], None]] = None


def process_file(input_path: str, out_dir: PathLike, settings: Optional[str] = None,
                 stitch: str = "none", tolerance: float = 1.0, iterations: int = 4,
                 target: Optional[str] = None) -> Record:
    """Runs one file through the batch; returns its record.

    The output goes to ``target``, by default ``output_path(input_path,
    out_dir)``.

    Runs on a worker. Library errors and unreadable files become the record's
    ``error``; anything else propagates (and the scheduler may retry it).
    """
    import quax

    if _task_hook is not None:
        _task_hook(input_path)

    start = time.perf_counter()
    record: Record = {"input": input_path, "output": None, "points_in": None,
              "points_out": None, "stitch": [], "seconds": None,
              "error": None}
    if target is None:
        target = output_path(input_path, out_dir)
    try:
        record["input_stamp"] = _stamp(input_path)
        filters = quax.filters_from_settings(settings) if settings else []
        if stitch == "none":
            # Nothing needs the whole set: the library streams the file
            # through the filters frame by frame (the bytes of the read,
            # apply and write below), as quaxscan filter does. The output is
            # written beside the target and renamed when whole.
            record["points_in"], record["points_out"] = quax.filter_file(
                input_path, target, filters, threads=1)
            record["output"] = target
            record["output_stamp"] = _stamp(target)
            record["seconds"] = time.perf_counter() - start
            return record
        scan = quax.read(input_path)
        record["points_in"] = scan.point_count
        for f in filters:
            f.apply(scan, threads=1)  # one worker process per core
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
        self.unsaved = False
        self.due = 0.0

    def complete(self, input_path, target, key):
        entry = self.entries.get(input_path)
        if not entry or entry.get("work") != key or entry.get("output") != target:
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
        self.entries[record["input"]] = {
            "work": key, "output": record["output"],
            "input_stamp": record["input_stamp"],
            "output_stamp": record["output_stamp"], "record": record}
        self.unsaved = True
        if time.perf_counter() >= self.due:
            self.save()

    def save(self):
        """Writes the manifest whole (under a temporary name, renamed).

        The file is rewritten as outputs finish, but at most a tenth of the
        time: after a write that took t, the next waits 9 t. A small batch
        records every file as it ends; an archive of thousands, whose
        manifest takes milliseconds to write, does not rewrite it per file.
        An interrupted batch saves what finished before it stops; only a
        client killed outright may lose the last few records, whose files a
        rerun then does again."""
        if not self.unsaved:
            return
        start = time.perf_counter()
        fd, temporary = tempfile.mkstemp(prefix=MANIFEST + ".",
                                         dir=os.path.dirname(self.path))
        try:
            with os.fdopen(fd, "w", encoding="utf-8") as f:
                f.write(json.dumps(self.entries, sort_keys=True))
            os.replace(temporary, self.path)
        except BaseException:  # an interrupt too: no stray temporary file
            try:
                os.unlink(temporary)
            except OSError:
                pass
            raise
        self.unsaved = False
        now = time.perf_counter()
        self.due = now + 9 * (now - start)


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

    def interrupted(self):
        """Ends the bar's line, so that what follows starts a line of its own."""
        if self.tty and self.done < self.total:
            self.stream.write("\n")
            self.stream.flush()


class BatchInterrupted(KeyboardInterrupt):
    """An interrupt (KeyboardInterrupt) that ended a batch after its clean-up:
    queued tasks cancelled, the local cluster stopped, no partial output
    left. ``records`` holds, in input order, the records of the files done
    (skipped ones included) and None for the others."""

    def __init__(self, records):
        super().__init__()
        self.records = records


class _QuietShutdown(logging.Filter):
    """Drops what a cluster's event loop reports of futures nobody awaits
    any more: the comms of a worker that died or of a cluster being shut
    down, which the batch has already dealt with."""

    def filter(self, record):
        if not record.getMessage().startswith("Future exception was never retrieved"):
            return True
        error = record.exc_info[1] if record.exc_info else None
        return not isinstance(error, (OSError, TimeoutError))


_QUIET_SHUTDOWN = _QuietShutdown()


def _ignore_sigint():
    """The local cluster's workers leave Ctrl-C to the batch: a Ctrl-C at a
    terminal reaches every process of the command, and a worker stopped by it
    would print its own traceback."""
    try:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
    except ValueError:  # not the main thread of the worker process
        pass


# What the local cluster runs with besides Dask's defaults. Its dashboard is
# off, so nobody sees the workers' statistical profile (a stack sample every
# 10 ms) nor needs the event loops' health checked every 20 ms; both cost
# the cores the files need (about a tenth of two idle workers' and the
# scheduler's time).
LOCAL_CLUSTER_CONFIG = {
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "200ms",
}


def local_cluster(workers: Optional[int] = None) -> Any:
    """The LocalCluster the batch starts when given no client: ``workers``
    single-threaded worker processes (default: one per core), no dashboard,
    ``LOCAL_CLUSTER_CONFIG``. The workers' own logs stay quiet: every task's
    outcome is in its record, and a worker that dies is reported by its
    nanny."""
    import dask
    from distributed import LocalCluster

    # The workers' nannies hand them the configuration set while they start.
    with dask.config.set(LOCAL_CLUSTER_CONFIG):
        return LocalCluster(
            n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
            processes=True, dashboard_address=None,
            silence_logs=logging.CRITICAL)


def _start_cluster(workers):
    """A LocalCluster whose worker processes ignore SIGINT: those started now
    inherit the ignored signal, those a nanny starts again after a death set
    it when they join."""
    from distributed import Client
    from distributed.diagnostics.plugin import WorkerPlugin

    class IgnoreSigint(WorkerPlugin):
        def setup(self, worker):
            _ignore_sigint()

    previous = None
    try:
        previous = signal.signal(signal.SIGINT, signal.SIG_IGN) or signal.SIG_DFL
    except ValueError:  # run() called off the main thread
        pass
    cluster = client = None
    try:
        cluster = local_cluster(workers)
        client = Client(cluster)
        client.register_worker_plugin(IgnoreSigint(), name="quax-batch-sigint")
    except BaseException:
        _stop_cluster(cluster, client)
        raise
    finally:
        if previous is not None:
            signal.signal(signal.SIGINT, previous)
    return cluster, client


def _stop_cluster(cluster, client):
    for part in (client, cluster):
        if part is not None:
            try:
                part.close(timeout=20)
            except Exception:  # a cluster that is gone already
                pass


def run(inputs: Sequence[PathLike], out_dir: PathLike, settings: Optional[str] = None,
        stitch: str = "none", client: Any = None, tolerance: float = 1.0,
        iterations: int = 4, force: bool = False, workers: Optional[int] = None,
        progress: bool = False, mirror: bool = False) -> List[Record]:
    """Runs the batch; returns one record per input, in input order.

    ``settings`` is the settings text (not a file name); ``stitch`` one of
    "none", "rigid", "reference", "both". With ``client=None`` a LocalCluster
    of ``workers`` processes (default: one per core) is started and shut down;
    otherwise the tasks go to that ``distributed.Client``. Outputs go to
    ``out_dir/<input name>.ply``, or with ``mirror`` below the folders of the
    inputs under their common folder; inputs that would share an output raise
    OutputClash before anything is done. Inputs whose outputs the manifest
    holds as complete for the same work are skipped (their records come from
    the manifest, with ``"skipped": True``) unless ``force``. An interrupt
    (KeyboardInterrupt) cancels what is not finished, removes partial outputs
    and raises BatchInterrupted.
    """
    from distributed import as_completed

    import quax

    if stitch not in STITCH_METHODS:
        raise ValueError("stitch must be one of " + ", ".join(STITCH_METHODS))
    if settings:
        # Settings text that no file could pass is refused here, once, with
        # the library's error, before any task starts.
        quax.filters_from_settings(settings)
    paths = [os.path.abspath(p) for p in inputs]
    out = os.path.abspath(out_dir)
    targets = plan_outputs(paths, out, mirror)
    for folder in sorted({out, *(os.path.dirname(t) for t in targets)}):
        os.makedirs(folder, exist_ok=True)
    key = _work_key(settings, stitch, tolerance, iterations)
    manifest = _Manifest(out)
    logging.getLogger("asyncio").addFilter(_QUIET_SHUTDOWN)

    records: List[Any] = [None] * len(paths)
    todo = []
    for i, path in enumerate(paths):
        done = None if force else manifest.complete(path, targets[i], key)
        if done is not None:
            records[i] = dict(done, skipped=True)
        else:
            todo.append(i)

    bar = _Progress(len(todo)) if progress else None
    if not todo:
        return records
    own = None
    futures = {}
    try:
        if client is None:
            own = _start_cluster(workers)
            client = own[1]
        # Keys unique to this run: a key the scheduler still holds from an
        # earlier run would hand back that run's record without running.
        run_id = uuid.uuid4().hex[:12]
        # One map, not a submit per file: the client reads the source of
        # the code that hands it work once per call, which costs more than
        # a task's own scheduling.
        k = len(todo)
        submitted = client.map(
            process_file, [paths[i] for i in todo], [out] * k, [settings] * k,
            [stitch] * k, [tolerance] * k, [iterations] * k,
            [targets[i] for i in todo], retries=TASK_RETRIES, pure=False,
            key=["quax-batch-{}-{}-{}".format(os.path.basename(paths[i]), i,
                                             run_id) for i in todo])
        futures = dict(zip(submitted, todo))
        def finished(future, timeout=None):
            i = futures[future]
            try:
                record = future.result(timeout=timeout)
            except Exception as e:  # the task itself failed every try
                record = {"input": paths[i], "output": None,
                          "points_in": None, "points_out": None,
                          "stitch": [], "seconds": None,
                          "error": {"class": type(e).__name__,
                                    "code": None, "message": str(e)}}
            if record["error"] is None:
                manifest.add(record, key)
            records[i] = record
            return record

        for future in as_completed(futures):
            record = finished(future)
            if bar:
                bar.update(record)
    except KeyboardInterrupt:
        # Quiet from here on: the cluster reports every task it drops.
        for name in ("distributed", "asyncio", "tornado"):
            logging.getLogger(name).setLevel(logging.CRITICAL + 1)
        if bar:
            bar.interrupted()
        unfinished = [f for f, i in futures.items() if records[i] is None]
        try:
            client.cancel([f for f in unfinished if f.status != "finished"])
            # Tasks that ended meanwhile keep their outputs, recorded.
            for future in unfinished:
                if future.status == "finished":
                    finished(future, timeout=5)
        except Exception:  # a scheduler that is gone already
            pass
        if own is not None:
            _stop_cluster(*own)
            own = None
        _remove_partial(targets[i] for i in todo if records[i] is None)
        raise BatchInterrupted(records) from None
    finally:
        manifest.save()
        if own is not None:
            _stop_cluster(*own)
    # Workers that died half-way through a write left temporary files.
    _remove_partial(targets[i] for i in todo)
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


def main(argv: Optional[Sequence[str]] = None) -> int:
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
    parser.add_argument("--mirror", action="store_true",
                        help="keep the inputs' folders below their common "
                             "folder under DIR (as rsync -R)")
    args = parser.parse_args(argv)

    settings = None
    if args.settings:
        with open(args.settings, encoding="utf-8") as f:
            settings = f.read()
    try:
        plan_outputs([os.path.abspath(p) for p in args.inputs],
                     os.path.abspath(args.out), args.mirror)
    except OutputClash as e:
        print("quax.batch: " + str(e), file=sys.stderr)
        return 2

    # SIGTERM ends the batch as Ctrl-C does; the first of either starts the
    # clean-up, which later ones do not cut short.
    received = []

    def interrupt(signum, frame):
        received.append(signum)
        for s in (signal.SIGINT, signal.SIGTERM):
            signal.signal(s, signal.SIG_IGN)
        raise KeyboardInterrupt

    signal.signal(signal.SIGINT, interrupt)
    signal.signal(signal.SIGTERM, interrupt)
    client = None
    start = time.perf_counter()
    try:
        try:
            if args.scheduler:
                from distributed import Client
                client = Client(args.scheduler)
            records = run(args.inputs, args.out, settings=settings,
                          stitch=args.stitch, client=client,
                          tolerance=args.tolerance,
                          iterations=args.iterations, force=args.force,
                          workers=args.workers, progress=True,
                          mirror=args.mirror)
        finally:
            if client is not None:
                client.close(timeout=20)
    except KeyboardInterrupt as e:
        signum = received[0] if received else signal.SIGINT
        done = [r for r in getattr(e, "records", []) if r is not None]
        print("quax.batch: interrupted ({}): {} of {} files done; the same "
              "command resumes the rest".format(
                  signal.Signals(signum).name, len(done), len(args.inputs)),
              file=sys.stderr)
        return 128 + int(signum)
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            json.dump(records, f, indent=1)
    print(_summary(records, time.perf_counter() - start))
    failed = [r for r in records if r["error"]]
    for r in failed:
        error = r["error"]
        print("failed: {}: {} ({}): {}".format(
            r["input"], error["class"], error["code"], error["message"]), file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    from quax.batch import main as _main  # the module the workers import too

    sys.exit(_main())
