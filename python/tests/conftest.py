# SPDX-License-Identifier: MIT
# Shared by the tests of the Python module: quaxscan (the built program, from
# $QUAXSCAN) makes the reference results on a small simulated scan.
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

import quax

SOURCE_DIR = Path(os.environ.get("QUAX_SOURCE_DIR", Path(__file__).resolve().parents[2]))
SETTINGS_FILE = SOURCE_DIR / "examples" / "data" / "filters.settings"
# Small enough for a quick suite, large enough for overlaps and dropouts.
SIMULATION = dict(seed=7, surfaces=2, frames=40, points=150)


@pytest.fixture(scope="session")
def quaxscan():
    program = os.environ.get("QUAXSCAN")
    if not program or not Path(program).exists():
        pytest.skip("QUAXSCAN does not name the built quaxscan program")

    def run(*args):
        done = subprocess.run([program, *map(str, args)], capture_output=True, text=True, timeout=120)
        assert done.returncode == 0, done.stderr
        return done.stdout

    return run


@pytest.fixture(scope="session")
def scan_file(quaxscan, tmp_path_factory):
    """The simulated scan as quaxscan writes it (binary PLY, with gray sums)."""
    path = tmp_path_factory.mktemp("scan") / "scan.ply"
    quaxscan("simulate", "-o", path, "--graysum", *simulate_options(SIMULATION))
    return path


def simulate_options(settings):
    return [item for key, value in settings.items() for item in (f"--{key}", value)]


def assert_same_points(a, b):
    """Two scan sets hold the same points, bit for bit, frame by frame."""
    assert len(a) == len(b)
    for sa, sb in zip(a.surfaces, b.surfaces):
        assert np.array_equal(sa.point_counts, sb.point_counts)
        assert np.array_equal(sa.points, sb.points)
