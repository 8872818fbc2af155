# SPDX-License-Identifier: MIT
# Extents and stitching against quaxscan's extent and stitch commands;
# progress callbacks.
import re

import numpy as np
import pytest

import quax
from conftest import assert_same_points


def test_extent_as_quaxscan(scan_file, quaxscan, tmp_path):
    quaxscan("extent", scan_file, "--surface", 1, "-o", tmp_path / "nodes.csv")
    scan = quax.read(scan_file)
    extent = quax.extent(scan.surfaces[1])
    assert extent.text == (tmp_path / "nodes.csv").read_text()
    text = np.array([[float(v) for v in line.split(",")[:-1]] for line in extent.text.splitlines()])
    np.testing.assert_allclose(extent.nodes, text, rtol=1e-5, atol=1e-5)
    assert len(extent) == len(extent.frame_indices) == len(scan.surfaces[1])
    origin, direction = extent.reference_line
    np.testing.assert_allclose(origin, extent.nodes[0, :3])
    np.testing.assert_allclose(direction, extent.split_direction())
    assert np.isclose(np.linalg.norm(direction), 1.0)
    extent.calculate(scan.surfaces[1])  # the library appends a second round
    assert len(extent) == 2 * len(scan.surfaces[1])
    with pytest.raises(quax.EMathZeroVector):
        quax.Extent().split_direction()


@pytest.mark.parametrize("method, flag", [("reference", ["--to-reference"]), (quax.StitchMethod.BOTH, ["--method", "both"])])
def test_stitch_as_quaxscan(scan_file, quaxscan, tmp_path, method, flag):
    out = quaxscan("stitch", scan_file, "--tolerance", 1, "--iterations", 3, *flag, "-o", tmp_path / "s.ply")
    scan = quax.read(scan_file)
    seen = []
    report = quax.stitch(scan.surfaces, tolerance=1.0, iterations=3, method=method, progress=seen.append)
    assert_same_points(scan, quax.read(tmp_path / "s.ply"))
    moved = [[float(v) for v in m] for m in re.findall(r"moved by \((\S+), (\S+), (\S+)\)", out)]
    np.testing.assert_allclose(report.translations, moved, atol=1e-4)
    # Two surfaces, three iterations: the pair's search, then each round.
    assert seen == report.progress == [16, 33, 50, 66, 83, 100]


def test_a_raising_progress_callable_stops_the_stitch():
    scan = quax.simulate(frames=30, points=100)
    before = scan.points

    class Stop(Exception):
        pass

    def stop_at_half(percent):
        if percent >= 50:
            raise Stop(percent)

    with pytest.raises(Stop) as stopped:
        quax.stitch(scan, tolerance=1.0, iterations=4, method="reference", progress=stop_at_half)
    assert stopped.value.args == (50,)
    assert not np.array_equal(scan.points, before)  # the first round stays

    # The data being stitched cannot be touched from the callable.
    def peek(percent):
        scan.surfaces[0].frames[0].points

    with pytest.raises(RuntimeError, match="being changed"):
        quax.stitch(scan, tolerance=1.0, iterations=1, progress=peek)
    assert len(quax.stitch([scan.surfaces[0]], 1.0, 5).progress) == 0  # one surface: nothing
    with pytest.raises(ValueError, match="method"):
        quax.stitch(scan, 1.0, 1, method="sideways")
    with pytest.raises(ValueError, match="tolerance"):
        quax.stitch(scan, float("nan"), 1)


def test_rigid_stitch_reports_and_applies_its_transform():
    scan = quax.simulate(frames=60, points=200, noise=0.001, misregistration=(0.2, -0.1, 0.3))
    before = scan.surfaces[0].points
    report = quax.stitch(scan, tolerance=1.0, iterations=10)  # rigid by default
    first, last = report.surfaces
    assert (first.status, last.status) == ("registered", "reference")
    assert first.rms_after < first.rms_before / 3
    r, t = first.transform[:3, :3], first.transform[:3, 3]
    np.testing.assert_allclose(scan.surfaces[0].points, before @ r.T + t, atol=1e-9)
    assert last.transform.tolist() == np.eye(4).tolist()


def test_rigid_stitch_starts_where_it_is_told_as_quaxscan_does(scan_file, quaxscan, tmp_path):
    # The transform a first stitch finds, given as the start of a second on
    # the same scan: the second starts there (its RMS before is the first's
    # after), and quaxscan --initial moves every point the same way.
    first = quax.stitch(quax.read(scan_file), tolerance=1.0, iterations=10).surfaces[0]
    start = first.transform
    scan = quax.read(scan_file)
    again = quax.stitch(scan, tolerance=1.0, iterations=10, initial={0: start}).surfaces[0]
    assert (again.status, again.message) == ("registered", "registered")
    assert again.rms_before < 1.5 * first.rms_after < first.rms_before / 3
    rows = " ".join(f"{v!r}" for v in start[:3].ravel())
    (tmp_path / "start.txt").write_text(f"# surface, then the rows of its transform\n\n0 {rows}\n")
    out = quaxscan("stitch", scan_file, "--tolerance", 1, "--iterations", 10,
                   "--initial", tmp_path / "start.txt", "-o", tmp_path / "s.ply")
    assert "surface 0: registered" in out
    assert_same_points(scan, quax.read(tmp_path / "s.ply"))

    # Started half a turn about its middle, the fit cannot find its way: the
    # surface stays where it is, and the report says so in words with what
    # helps.
    scan = quax.read(scan_file)
    points = scan.surfaces[0].points
    turned = np.diag([-1.0, -1.0, 1.0, 1.0])
    turned[:3, 3] = 2 * points.mean(axis=0) * [1, 1, 0]
    off = quax.stitch(scan, tolerance=1.0, iterations=10, initial=[turned, None]).surfaces[0]
    assert off.status in ("not_improved", "too_few_pairs")
    assert off.message.startswith("not registered") and "initial=" in off.hint
    assert np.array_equal(scan.surfaces[0].points, points)
    for bad, error in [([np.eye(4)], ValueError), ({5: np.eye(4)}, ValueError),
                       ({0: np.eye(3)}, ValueError), ({0: 2 * np.eye(4)}, quax.EMathSingularMatrix)]:
        with pytest.raises(error):
            quax.stitch(scan, tolerance=1.0, iterations=1, initial=bad)
    with pytest.raises(ValueError):
        quax.stitch(scan, tolerance=1.0, iterations=1, method="both", initial=[None, None])
    assert np.array_equal(scan.surfaces[0].points, points)
