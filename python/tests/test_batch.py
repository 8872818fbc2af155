# SPDX-License-Identifier: MIT
# quax.batch on a LocalCluster of two worker processes: outputs equal serial
# quaxscan's byte for byte; bad files, dead workers, same-named inputs,
# interrupts and reruns lose nothing.
import json
import os
import re
import signal
import subprocess
import sys
import threading

import pytest

from conftest import SETTINGS_FILE

distributed = pytest.importorskip("distributed")
if os.environ.get("QUAX_SANITIZED"):
    pytest.skip("worker processes are not run under the sanitizers", allow_module_level=True)

from quax import batch  # noqa: E402

# Debian's tornado warns of its own event loop use inside distributed.
pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")

STITCH = ["--tolerance", "1", "--iterations", "4", "--to-reference"]


@pytest.fixture(scope="module")
def client():
    with batch.local_cluster(2) as cluster, distributed.Client(cluster) as c:
        yield c


@pytest.fixture(scope="module")
def inputs(quaxscan, tmp_path_factory):
    folder = tmp_path_factory.mktemp("inputs")
    paths = [folder / f"scan{seed}.ply" for seed in (1, 2, 3)]
    for seed, path in enumerate(paths, 1):
        quaxscan("simulate", "-o", path, "--seed", seed, "--frames", 30, "--points", 120)
    return paths


@pytest.fixture(scope="module")
def serial(quaxscan, inputs, tmp_path_factory):
    """quaxscan filter, then quaxscan stitch, on each file alone."""
    folder = tmp_path_factory.mktemp("serial")
    outputs = {}
    for path in inputs:
        filtered = folder / ("filtered-" + path.name)
        quaxscan("filter", path, "--settings", SETTINGS_FILE, "-o", filtered)
        quaxscan("stitch", filtered, "-o", folder / path.name, *STITCH)
        outputs[path.name] = (folder / path.name).read_bytes()
    return outputs


def run(client, inputs, out, **options):
    return batch.run(inputs, out, settings=SETTINGS_FILE.read_text(), stitch="reference",
                     client=client, **options)


def assert_outputs_as_serial(out, serial):
    for name, expected in serial.items():
        assert (out / name).read_bytes() == expected, name


def test_outputs_equal_serial_quaxscan_and_a_bad_file_is_recorded(client, inputs, serial, tmp_path):
    bad = tmp_path / "bad.ply"
    bad.write_text("ply\nformat ascii 1.0\nelement vertex 2\nproperty double x\nend_header\n1\n")
    records = run(client, [*inputs, bad, tmp_path / "missing.ply"], tmp_path / "out")
    assert_outputs_as_serial(tmp_path / "out", serial)
    assert [r["error"] is None for r in records] == [True, True, True, False, False]
    assert records[3]["error"]["class"] == "ScanFileError" and "bad.ply" in records[3]["error"]["message"]
    assert not (tmp_path / "out" / "bad.ply").exists()
    good = records[0]
    assert good["points_in"] > good["points_out"] > 0 and len(good["stitch"]) == 2


def test_a_worker_killed_during_a_task_loses_nothing(client, inputs, serial, tmp_path):
    marker, name = str(tmp_path / "crashed"), inputs[1].name

    def crash_once(input_path):  # the first task for that input ends its worker
        if os.path.basename(input_path) == name and not os.path.exists(marker):
            open(marker, "w").close()
            os._exit(1)

    client.run(setattr, batch, "_task_hook", crash_once)
    records = run(client, inputs, tmp_path / "out")
    assert os.path.exists(marker)
    assert all(r["error"] is None for r in records)
    assert_outputs_as_serial(tmp_path / "out", serial)


def test_same_named_inputs_are_refused_or_kept_apart(client, inputs, serial, tmp_path):
    # in/a/scan1.ply and in/b/scan1.ply (holding scan2); an input as its output.
    same = [tmp_path / "in" / f / inputs[0].name for f in "ab"]
    for path, source in zip(same, inputs):
        path.parent.mkdir(parents=True)
        path.write_bytes(source.read_bytes())
    out = tmp_path / "out"
    with pytest.raises(batch.OutputClash) as flat:
        run(client, same, out)
    assert list(flat.value.clashes.values()) == [[str(p) for p in same]]
    with pytest.raises(batch.OutputClash, match="over an input"):
        run(client, same[:1], same[0].parent, mirror=True)
    done = subprocess.run([sys.executable, "-m", "quax.batch", "--out", out, *same],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and all(str(p) in done.stderr for p in same) and not out.exists()
    records = run(client, same, out, mirror=True)
    assert [r["output"] for r in records] == [str(out / f / inputs[0].name) for f in "ab"]
    assert [open(r["output"], "rb").read() for r in records] == [serial[p.name] for p in inputs[:2]]
    assert sorted(json.loads((out / batch.MANIFEST).read_text())) == [str(p) for p in same]
    # A rerun writes only what is missing, and everything for other work.
    os.unlink(records[1]["output"])
    kept = os.stat(records[0]["output"]).st_mtime_ns
    rerun = run(client, same, out, mirror=True)
    assert [bool(r.get("skipped")) for r in rerun] == [True, False]
    assert os.stat(records[0]["output"]).st_mtime_ns == kept
    assert open(records[1]["output"], "rb").read() == serial[inputs[1].name]
    assert not any(r.get("skipped") for r in batch.run(same, out, client=client, mirror=True))


@pytest.mark.parametrize("signum, killpg", [(signal.SIGINT, True), (signal.SIGTERM, False)])
def test_an_interrupted_batch_leaves_no_partial_output_and_resumes(inputs, tmp_path, signum, killpg):
    # Ctrl-C reaches every process of the command, SIGTERM the command only.
    # The last input is a named pipe, whose task waits for a writer: the batch
    # is under way when the signal comes. A dead worker's temporary file goes.
    folder, out = tmp_path / "in", tmp_path / "out"
    folder.mkdir()
    out.mkdir()
    names = [f"part{k}.ply" for k in range(8)]
    for name in names[:-1]:
        os.link(inputs[0], folder / name)
    os.mkfifo(folder / names[-1])
    for writer in ("quaxscan", "quax"):
        (out / f".{names[-1]}.{writer}-99999-0.tmp").write_text("half")
    command = [sys.executable, "-m", "quax.batch", "--out", out, "--workers", "2",
               *[folder / n for n in names]]
    with subprocess.Popen(command, stderr=subprocess.PIPE, text=True, start_new_session=True) as p:
        watchdog = threading.Timer(120, os.killpg, (p.pid, signal.SIGKILL))
        watchdog.start()
        try:
            next(line for line in p.stderr if " files, " in line)  # one file done
            (os.killpg if killpg else os.kill)(p.pid, signum)
            stderr = p.communicate(timeout=120)[1]
        finally:
            watchdog.cancel()
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGKILL)
    assert p.returncode == 128 + signum, stderr
    *progress, last = stderr.strip().splitlines()
    assert all(re.match(r"\[[#.]+\] \d", line) for line in progress), stderr
    done = int(re.fullmatch(r"quax\.batch: interrupted \(SIG\w+\): (\d+) of 8 files done; "
                            r"the same command resumes the rest", last).group(1))
    recorded = json.loads((out / batch.MANIFEST).read_text())
    assert 0 < done < 8 and len(recorded) == done
    assert {p.name for p in out.iterdir()} <= {*names, batch.MANIFEST}  # no temporary file
    mtimes = {p: os.stat(e["output"]).st_mtime_ns for p, e in recorded.items()}
    # Resumed, with a bad file more: it is reported and named, the rest done.
    (folder / names[-1]).unlink()
    os.link(inputs[0], folder / names[-1])
    (folder / "broken.txt").write_text("1 2 x\n")
    report = tmp_path / "report.json"
    resumed = subprocess.run([*command, folder / "broken.txt", "--report", report],
                             capture_output=True, text=True, timeout=240)
    assert resumed.returncode == 1 and "broken.txt" in resumed.stderr, resumed.stderr
    assert f"{8 - done} written, {done} skipped (already complete), 1 failed" in resumed.stdout
    assert [r["error"] is None for r in json.loads(report.read_text())] == [True] * 8 + [False]
    assert {p: os.stat(e["output"]).st_mtime_ns for p, e in recorded.items()} == mtimes
    assert len({(out / n).read_bytes() for n in names}) == 1


def test_a_dead_workers_unawaited_comm_errors_stay_quiet(caplog):
    # What asyncio reports of a future nobody awaits: the comm errors of a dead
    # worker or a cluster going down are dropped once a batch ran; any other
    # fault is still reported.
    import asyncio
    import gc
    import logging

    def abandon(error):
        loop = asyncio.new_event_loop()
        future = loop.create_future()
        future.set_exception(error)
        del future
        gc.collect()
        loop.close()

    with caplog.at_level(logging.ERROR, logger="asyncio"):
        logging.getLogger("asyncio").addFilter(batch._QUIET_SHUTDOWN)  # as a batch does
        abandon(TimeoutError())
        abandon(ConnectionResetError())
        abandon(ValueError("a real fault"))
    assert [r.exc_info[0] for r in caplog.records] == [ValueError]
