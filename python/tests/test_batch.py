# SPDX-License-Identifier: MIT
# quax.batch on a LocalCluster of two worker processes: outputs equal the
# serial quaxscan outputs byte for byte, a malformed file is recorded and the
# rest finish, a worker killed during a task loses nothing, a rerun does only
# what is missing, same-named inputs never share an output, and an
# interrupted batch leaves only complete outputs and resumes.
import json
import os
import re
import signal
import subprocess
import sys

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
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster, distributed.Client(cluster) as c:
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
    marker = tmp_path / "crashed"
    records = run(client, inputs, tmp_path / "out", _crash_once=(str(marker), inputs[1].name))
    assert marker.exists()
    assert all(r["error"] is None for r in records)
    assert_outputs_as_serial(tmp_path / "out", serial)


def test_a_rerun_writes_only_what_is_missing(client, inputs, serial, tmp_path):
    out = tmp_path / "out"
    run(client, inputs, out)
    (out / inputs[1].name).unlink()
    kept = os.stat(out / inputs[0].name).st_mtime_ns
    records = run(client, inputs, out)
    assert [bool(r.get("skipped")) for r in records] == [True, False, True]
    assert os.stat(out / inputs[0].name).st_mtime_ns == kept
    assert_outputs_as_serial(out, serial)
    other = batch.run(inputs, out, stitch="none", client=client)  # other work: nothing skipped
    assert not any(r.get("skipped") for r in other)


def test_command_line_reports_and_fails_naming_the_bad_file(inputs, tmp_path):
    bad = tmp_path / "broken.txt"
    bad.write_text("1 2 x\n")
    report = tmp_path / "report.json"
    done = subprocess.run(
        [sys.executable, "-m", "quax.batch", "--out", tmp_path / "out", "--workers", "2",
         "--report", report, inputs[0], bad],
        capture_output=True, text=True, timeout=240)
    assert done.returncode == 1, done.stderr
    assert "broken.txt" in done.stderr and "1 written" in done.stdout
    records = json.loads(report.read_text())
    assert [r["error"] is None for r in records] == [True, False]


def test_same_named_inputs_are_refused_or_kept_apart(client, inputs, serial, tmp_path):
    # a/scan1.ply and b/scan1.ply (with b's content from scan2), and an input
    # its output would overwrite.
    for folder, source in (("a", inputs[0]), ("b", inputs[1])):
        (tmp_path / "in" / folder).mkdir(parents=True)
        (tmp_path / "in" / folder / inputs[0].name).write_bytes(source.read_bytes())
    same = [tmp_path / "in" / f / inputs[0].name for f in "ab"]
    out = tmp_path / "out"
    with pytest.raises(batch.OutputClash) as flat:
        run(client, same, out)
    assert list(flat.value.clashes.values()) == [[str(p) for p in same]]
    with pytest.raises(batch.OutputClash, match="over an input"):
        run(client, same[:1], tmp_path / "in" / "a", mirror=True)
    assert not out.exists()
    done = subprocess.run([sys.executable, "-m", "quax.batch", "--out", out, *same],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and all(str(p) in done.stderr for p in same), done.stderr
    assert not out.exists()

    records = run(client, same, out, mirror=True)
    assert [r["output"] for r in records] == [str(out / f / inputs[0].name) for f in "ab"]
    assert (out / "a" / inputs[0].name).read_bytes() == serial[inputs[0].name]
    assert (out / "b" / inputs[0].name).read_bytes() == serial[inputs[1].name]
    manifest = json.loads((out / batch.MANIFEST).read_text())
    assert sorted(manifest) == [str(p) for p in same]
    assert all(r.get("skipped") for r in run(client, same, out, mirror=True))


@pytest.mark.parametrize("signum, whole_group", [(signal.SIGINT, True), (signal.SIGTERM, False)])
def test_an_interrupted_batch_leaves_no_partial_output_and_resumes(inputs, tmp_path, signum, whole_group):
    # The last input is a named pipe: its task waits for a writer, so the batch
    # is surely under way when the signal comes. A temporary file that a
    # worker killed half-way through a write left must go too. Ctrl-C reaches
    # every process of the command; SIGTERM the command only.
    folder, out = tmp_path / "in", tmp_path / "out"
    folder.mkdir()
    out.mkdir()
    names = [f"part{k}.ply" for k in range(8)]
    for name in names[:-1]:
        os.link(inputs[0], folder / name)
    os.mkfifo(folder / names[-1])
    (out / f".{names[-1]}.quaxscan-99999-0.tmp").write_text("half")
    command = [sys.executable, "-m", "quax.batch", "--out", out, "--workers", "2",
               *[folder / n for n in names]]
    batch_run = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True, start_new_session=True)
    try:
        for line in batch_run.stderr:  # the first file done
            if " files, " in line:
                break
        (os.killpg if whole_group else os.kill)(batch_run.pid, signum)
        stdout, stderr = batch_run.communicate(timeout=120)
    finally:
        if batch_run.poll() is None:
            os.killpg(batch_run.pid, signal.SIGKILL)
            batch_run.wait(timeout=30)
    assert batch_run.returncode == 128 + signum, stderr
    lines = stderr.strip().splitlines()
    assert all(re.match(r"\[[#.]+\] \d", l) for l in lines[:-1]), stderr
    found = re.fullmatch(r"quax\.batch: interrupted \(SIG\w+\): (\d+) of 8 files done; "
                         r"the same command resumes the rest", lines[-1])
    assert found, stderr
    done = int(found.group(1))
    recorded = json.loads((out / batch.MANIFEST).read_text())
    assert 0 < done < 8 and len(recorded) == done
    left = {p.name for p in out.iterdir()}
    assert left <= {*names, batch.MANIFEST}, left  # no temporary file
    mtimes = {p: os.stat(e["output"]).st_mtime_ns for p, e in recorded.items()}

    (folder / names[-1]).unlink()
    os.link(inputs[0], folder / names[-1])
    resumed = subprocess.run(command, capture_output=True, text=True, timeout=240)
    assert resumed.returncode == 0, resumed.stderr
    assert f"{8 - done} written, {done} skipped" in resumed.stdout
    assert {p: os.stat(e["output"]).st_mtime_ns for p, e in recorded.items()} == mtimes
    first = (out / names[0]).read_bytes()
    assert all((out / n).read_bytes() == first for n in names)
