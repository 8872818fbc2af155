# SPDX-License-Identifier: MIT
# Arrays in and out of the data model, who owns what, and refused arrays.
import gc

import numpy as np
import pytest

import quax


def test_arrays_are_copied_both_ways_and_objects_keep_their_data_alive():
    rng = np.random.default_rng(1)
    a0, a1 = rng.normal(size=(7, 3)), rng.normal(size=(4, 3))
    surface = quax.Surface.from_arrays([a0, None, a1])
    a0 += 1.0  # the surface holds its own copy
    frame = quax.ScanSet([surface]).surfaces[0].frames[-1]
    del surface
    gc.collect()  # the frame alone keeps the set alive
    points = frame.points
    assert np.array_equal(points, a1)
    points[:] = 0.0  # a copy: the line keeps its points
    assert np.array_equal(frame.points, a1)

    frame.points = a0[:2].copy()  # assignment copies into the line, cutting it
    assert np.array_equal(frame.points, a0[:2])
    empty = frame_of([None], 0)
    assert not empty.has_line
    with pytest.raises(quax.EScanFrameNoScanLine) as error:
        empty.points
    assert error.value.code == quax.EScanFrameNoScanLine.code == 17479
    assert isinstance(error.value, quax.EScanFrameDataException)
    assert isinstance(error.value, quax.EScanException)
    empty.points = a1  # a frame without a line gets one
    assert np.array_equal(empty.points, a1)


def frame_of(arrays, index):
    return quax.Surface.from_arrays(arrays).frames[index]


def test_surface_arrays_agree_with_frames():
    scan = quax.simulate(frames=12, points=30, dropouts=0.5)
    surface = scan.surfaces[1]
    counts = surface.point_counts
    parts = np.split(surface.points, np.cumsum(counts)[:-1])
    frames = list(surface.frames)
    assert len(frames) == len(surface) == 12
    for frame, part, array in zip(frames, parts, surface.to_arrays()):
        assert np.array_equal(frame.points, part) and np.array_equal(array, part)
    assert [f.index for f in surface.frames[10:2:-4]] == [10, 6]
    assert np.array_equal(scan.points, np.vstack([s.points for s in scan.surfaces]))
    with pytest.raises(IndexError):
        surface.frames[12]


def test_surfaces_belong_to_one_set():
    surface = quax.Surface.from_arrays([np.zeros((3, 3))])
    first = quax.ScanSet([surface])
    with pytest.raises(ValueError, match="already belongs"):
        quax.ScanSet([surface])
    with pytest.raises(ValueError, match="already belongs"):
        first.add_surface(first.surfaces[0])
    second = quax.ScanSet([surface.copy()])
    second.surfaces[0].frames[0].points = np.ones((2, 3))
    assert np.array_equal(first.points, np.zeros((3, 3)))
    with pytest.raises(TypeError):
        quax.ScanSet([np.zeros((3, 3))])


@pytest.mark.parametrize(
    "bad, error",
    [
        (np.zeros((4, 3), dtype=np.float32), TypeError),
        (np.zeros((4, 3), dtype=np.int64), TypeError),
        (np.zeros((4, 3)).astype(">f8"), TypeError),
        ([[0.0, 0.0, 0.0]], TypeError),
        (np.zeros((4, 2)), ValueError),
        (np.zeros(12), ValueError),
        (np.zeros((3, 4, 3)), ValueError),
        (np.zeros((3, 6))[:, ::2], ValueError),
        (np.asfortranarray(np.zeros((4, 3))), ValueError),
        (np.array([[0.0, np.nan, 0.0]]), ValueError),
        (np.array([[0.0, 0.0, -np.inf]]), ValueError),
    ],
)
def test_bad_arrays_are_refused_clearly(bad, error):
    with pytest.raises(error, match="frame 1"):
        quax.Surface.from_arrays([np.zeros((2, 3)), bad])
    frame = frame_of([np.zeros((2, 3))], 0)
    with pytest.raises(error):
        frame.points = bad
    assert np.array_equal(frame.points, np.zeros((2, 3)))
    with pytest.raises(error):
        quax.AverageFilter(3, 1.0).filter_points(bad)
