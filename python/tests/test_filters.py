# SPDX-License-Identifier: MIT
# Filters against quaxscan's filter command, settings text and errors.
import re
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import quax
from conftest import SETTINGS_FILE, SOURCE_DIR, assert_same_points


def test_settings_file_filters_as_quaxscan(scan_file, quaxscan, tmp_path):
    quaxscan("filter", scan_file, "--settings", SETTINGS_FILE, "-o", tmp_path / "f.ply")
    chain = quax.filter_from_settings(SETTINGS_FILE.read_text())
    assert [f.key for f in chain] == [
        "ScanAverageFilter",
        "ScanChordalDeviationFilter",
        "ScanNPointFilter",
    ]
    scan = quax.read(scan_file)
    lines = [f.points for f in scan.surfaces[0].frames]
    chain.apply(scan, threads=2)
    assert_same_points(scan, quax.read(tmp_path / "f.ply"))
    # One line alone filters as it does inside the set.
    for line, frame in zip(lines, scan.surfaces[0].frames):
        assert np.array_equal(chain.filter_points(line), frame.points)


def test_settings_text_round_trips():
    made = [
        quax.AverageFilter(5, 500.0),
        quax.ChordalDeviationFilter(0.05, max_span=20.0),
        quax.NPointFilter(64, "chordal_deviation"),
        quax.NPointFilter(64, quax.NPointAlgorithm.CHORDAL_DEVIATION),
        quax.NPointFilter(10, quax.NPointFilter.EQUAL_ARC_LENGTH),
    ]
    for f in made:
        again = quax.filter_from_settings(f.settings)
        assert type(again) is type(f) and again.settings == f.settings
        assert type(f).from_settings(f.settings).settings == f.settings
    assert "<NeighborhoodSize value=\"5\"/>" in made[0].settings
    assert "<Weights value=\"100\"/>" in made[0].settings


@pytest.mark.parametrize(
    "make, error, code",
    [
        (lambda: quax.AverageFilter(0, 1.0), "EScanNeighborhoodSizeOutOfRange", 17097),
        (lambda: quax.AverageFilter(4, 1.0), "EScanNeighborhoodSizeNotOddNumber", 17098),
        (lambda: quax.AverageFilter(3, 0.0), "EScanNonPositiveProximityLimit", 17482),
        (lambda: quax.ChordalDeviationFilter(-1.0), "EScanNonPositiveDeviationLimit", 17483),
        (lambda: quax.NPointFilter(2, 0), "EScanNPointFilterTooSmall", 17496),
        (lambda: quax.NPointFilter(5, 7), "EScanUnknownNPointFilterAlgorithm", 17494),
        (lambda: quax.ChordalDeviationFilter.from_settings(quax.AverageFilter(3, 1.0).settings),
         "EScanIOBadHeader", 17201),
        (lambda: quax.filter_from_settings("<ScanAverageFilter>\n<Size value=\"3\"/>\n"),
         "EScanIOBadAttribute", 17485),
    ],
)
def test_library_errors_keep_class_and_code(make, error, code):
    with pytest.raises(getattr(quax, error)) as raised:
        make()
    assert raised.value.code == code and isinstance(raised.value, quax.ScanError)
    assert raised.value.class_chain[-1] == "QUAX::" + error
    assert str(code) in str(raised.value)


def test_settings_text_without_blocks_and_thinning_errors():
    with pytest.raises(ValueError, match="line 2"):
        quax.filter_from_settings("\n<Unknown>\n")
    with pytest.raises(ValueError, match="no filter settings block"):
        quax.filter_from_settings("  \n")
    with pytest.raises(ValueError, match="unknown N-point algorithm"):
        quax.NPointFilter(5, "fastest")
    # A line the filter refuses (too short for 64 points) is left as it was,
    # as the library's walk over a set leaves it.
    short = np.arange(30.0).reshape(10, 3)
    assert np.array_equal(quax.NPointFilter(64, 0).filter_points(short), short)


def test_every_library_exception_is_exported_and_the_version_is_the_projects():
    compiled = {n for n, v in vars(quax._quax).items() if isinstance(v, type) and issubclass(v, quax.ScanError)}
    assert {"EAcquireDevice", "EScanSurfaceWaitTimeout", "ScanFileError"} <= compiled
    assert compiled <= set(quax.__all__) and all(getattr(quax, n) is getattr(quax._quax, n) for n in compiled)
    project = (SOURCE_DIR / "CMakeLists.txt").read_text()
    assert re.search(r"project\(\w+\s+VERSION (\S+)", project).group(1) == quax.__version__


@pytest.mark.parametrize("shared", [quax.AverageFilter(5), quax.ChordalDeviationFilter(0.05, max_span=20.0),
                                    quax.NPointFilter(40, "chordal_deviation")], ids=lambda f: f.key)
def test_one_filter_shared_by_threads_filters_as_alone(scan_file, shared):
    alone, scans = quax.read(scan_file), [quax.read(scan_file) for _ in range(4)]
    shared.apply(alone)
    with ThreadPoolExecutor(4) as pool:
        calls = [pool.submit(shared.apply, scan, threads=2) for scan in scans]
        for call in calls:
            call.result(timeout=120)
    for scan in scans:
        assert_same_points(scan, alone)
