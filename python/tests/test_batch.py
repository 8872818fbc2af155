# SPDX-License-Identifier: MIT
# quax.batch on a LocalCluster of two worker processes: outputs equal the
# serial quaxscan outputs byte for byte, a malformed file is recorded and the
# rest finish, a worker killed during a task loses nothing, and a rerun does
# only what is missing.
import json
import os
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
