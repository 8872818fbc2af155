# SPDX-License-Identifier: MIT
# Scan files and the simulated scanner against quaxscan's.
import numpy as np
import pytest

import quax
from conftest import SETTINGS_FILE, SIMULATION, assert_same_points


def test_simulate_reads_and_writes_as_quaxscan(scan_file, quaxscan, tmp_path):
    scan = quax.read(scan_file)
    assert_same_points(scan, quax.simulate(graysum=True, **SIMULATION))

    # Written back, the file is quaxscan's byte for byte (gray sums included).
    quax.write(scan, tmp_path / "again.ply")
    assert (tmp_path / "again.ply").read_bytes() == scan_file.read_bytes()

    # The other layouts read back identical, by quax and by quaxscan.
    for name, ascii in (("a.ply", True), ("t.txt", False), ("t.xyz", False)):
        quax.write(scan, tmp_path / name, ascii=ascii)
        assert_same_points(quax.read(tmp_path / name), scan)
        quaxscan("convert", tmp_path / name, "-o", tmp_path / (name + ".ply"))
        assert_same_points(quax.read(str(tmp_path / (name + ".ply"))), scan)


def test_scan_built_from_arrays_round_trips(tmp_path):
    rng = np.random.default_rng(3)
    frames = [rng.normal(size=(n, 3)) for n in (5, 0, 17)]
    scan = quax.ScanSet([quax.Surface.from_arrays(frames), quax.Surface.from_arrays([])])
    quax.write(scan, tmp_path / "built.ply")
    back = quax.read(tmp_path / "built.ply")
    assert_same_points(back, scan)
    assert [len(s) for s in back.surfaces] == [3, 0]
    for got, want in zip(back.surfaces[0].to_arrays(), frames):
        assert np.array_equal(got, want)


def test_frames_walk_the_file_as_read_gives_it(scan_file, tmp_path):
    scan = quax.read(scan_file)
    for path in (scan_file, tmp_path / "t.txt"):
        if path.suffix == ".txt":
            quax.write(scan, path)
        whole = quax.read(path)
        reader = quax.frames(path)
        assert reader.frames_per_surface == [len(s) for s in whole.surfaces]
        got = [(s, f.index, f.points) for s, f in reader]
        want = [(s, i, f.points) for s, sf in enumerate(whole.surfaces)
                for i, f in enumerate(sf.frames)]
        assert [g[:2] for g in got] == [w[:2] for w in want]
        assert all(np.array_equal(g[2], w[2]) for g, w in zip(got, want))
    with pytest.raises(quax.ScanFileError, match="missing.ply"):
        quax.frames(tmp_path / "missing.ply")


def test_file_errors_name_the_file(tmp_path):
    bad = tmp_path / "bad.ply"
    bad.write_bytes(b"ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n")
    with pytest.raises(quax.ScanFileError, match="bad.ply") as error:
        quax.read(bad)
    assert isinstance(error.value, quax.EVXIOException)
    with pytest.raises(quax.ScanFileError, match="missing.ply"):
        quax.read(tmp_path / "missing.ply")
    with pytest.raises(quax.ScanFileError):
        quax.write(quax.ScanSet(), tmp_path / "scan.csv")
    assert not (tmp_path / "scan.csv").exists()


def test_filter_file_writes_what_read_apply_and_write_give(scan_file, tmp_path):
    from quax import batch

    settings = SETTINGS_FILE.read_text()
    filters = quax.filters_from_settings(settings)
    quax.write(quax.read(scan_file), tmp_path / "in.txt")
    for source in (scan_file, tmp_path / "in.txt"):  # binary PLY and text
        scan = quax.read(source)
        points_in = scan.point_count
        for f in filters:
            f.apply(scan, threads=1)
        for name, ascii in (("f.ply", False), ("a.ply", True), ("t.txt", False)):
            quax.write(scan, tmp_path / ("want-" + name), ascii=ascii)
            got = quax.filter_file(source, tmp_path / name, filters, threads=2, ascii=ascii)
            assert got == (points_in, scan.point_count)
            assert (tmp_path / name).read_bytes() == (tmp_path / ("want-" + name)).read_bytes()
        # The batch's task without a stitch takes this path.
        record = batch.process_file(str(source), tmp_path / "out", settings,
                                    target=str(tmp_path / "task.ply"))
        assert record["error"] is None and record["points_out"] == scan.point_count
        assert (tmp_path / "task.ply").read_bytes() == (tmp_path / "want-f.ply").read_bytes()

    # A file that ends inside a row: the error names it, and nothing is written.
    cut = tmp_path / "cut.ply"
    cut.write_bytes(scan_file.read_bytes()[:-7])
    with pytest.raises(quax.ScanFileError, match="cut.ply"):
        quax.filter_file(cut, tmp_path / "none.ply", filters)
    assert not (tmp_path / "none.ply").exists()
    assert quax.filter_file(scan_file, tmp_path / "copy.ply", []) == (points_in, points_in)
    assert (tmp_path / "copy.ply").read_bytes() == scan_file.read_bytes()
