# SPDX-License-Identifier: MIT
# quax.acquire and quax.Acquisition: runs of the simulated scanner give the
# sweeps quax.simulate makes with the same options, whether taken as a set or
# read profile by profile while they arrive; runs stop when asked, waits are
# bounded; a camera runs where the build has Aravis (its fake GigE Vision
# camera on 127.0.0.1).
import os
import re
import select
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import quax

WAIT = 10.0  # seconds: bounds every wait; none of them should come near it


@pytest.mark.parametrize(
    "options, profiles, per_surface",
    [
        (dict(seed=3, points=60), 100, 0),
        (dict(seed=9, points=200, dropouts=0.5, graysum=True), 130, 40),
        (dict(seed=1, points=2, noise=0.0, width=3.0, spacing=2.5), 64, 64),
    ],
)
def test_runs_give_the_simulated_sweep_as_a_set_and_as_they_arrive(options, profiles, per_surface):
    sweep = quax.simulate(surfaces=1, frames=profiles, **options).surfaces[0]
    expected = [frame.points for frame in sweep.frames]

    scan, record = quax.acquire(quax.SimulatedSource(**options), profiles=profiles,
                                frames_per_surface=per_surface)
    counts = [len(s) for s in scan.surfaces]
    assert (record.received, record.lost, record.incomplete, record.failure) == (profiles, 0, 0, "")
    assert sum(counts) == profiles and (per_surface == 0 or max(counts) == per_surface)
    assert np.array_equal(scan.points, sweep.points)

    with quax.Acquisition(quax.SimulatedSource(**options), profiles=profiles,
                          frames_per_surface=per_surface) as run:
        arrived = list(run.profiles(timeout=WAIT))
        assert run.next_profile(timeout=WAIT) is None  # every profile handed out
        assert run.wait(WAIT) and run.finished
        taken = run.take_set()
    assert len(arrived) == profiles
    assert all(np.array_equal(a, b) for a, b in zip(arrived, expected))
    assert np.array_equal(taken.points, sweep.points)


@pytest.mark.parametrize("threads", [1, 2])
def test_live_filters_hand_out_each_profile_filtered_as_offline(threads):
    options = dict(seed=5, points=300, dropouts=0.3)
    chain = quax.FilterChain([quax.AverageFilter(5), quax.ChordalDeviationFilter(0.05)])
    expected = quax.simulate(surfaces=1, frames=90, **options)
    chain.apply(expected)
    with quax.Acquisition(quax.SimulatedSource(**options), profiles=90, frames_per_surface=25,
                          filters=chain, filter_threads=threads) as run:
        arrived = list(run.profiles(timeout=WAIT))
        assert run.wait(WAIT) and run.finished
        taken = run.take_set()
    assert (run.filtered, run.refused) == (90, 0)
    assert [len(a) for a in arrived] == [len(f.points) for f in expected.surfaces[0].frames]
    assert np.array_equal(np.concatenate(arrived), expected.points)
    assert np.array_equal(taken.points, expected.points)
    scan, _ = quax.acquire(quax.SimulatedSource(**options), profiles=90,
                           filters=chain.filters[0], filter_threads=threads)
    assert not np.array_equal(scan.points, quax.simulate(surfaces=1, frames=90, **options).points)
    with pytest.raises(TypeError, match="quax filters"):
        quax.Acquisition(quax.SimulatedSource(), profiles=1, filters=[chain])


def test_a_run_without_end_stops_when_asked_and_waits_are_bounded():
    source = quax.SimulatedSource(points=20, line_rate=200.0)
    with quax.Acquisition(source) as run:
        with pytest.raises(RuntimeError, match="still running"):
            run.take_set()
        with pytest.raises(RuntimeError, match="in use"):
            quax.Acquisition(source)  # one run at a time per source
        assert not run.wait(0.05)
        seen = []
        for profile in run.profiles(timeout=WAIT):
            seen.append(profile)
            if len(seen) == 5:
                threading.Thread(target=run.stop).start()  # from another thread too
        assert run.wait(WAIT)
        scan = run.take_set()
        with pytest.raises(RuntimeError, match="taken"):
            run.next_profile()
    frames = scan.surfaces[0].frames
    assert len(seen) == len(frames) == run.record.received >= 5
    assert all(np.array_equal(a, f.points) for a, f in zip(seen, frames))
    # The source is free again: a second run of it.
    assert quax.acquire(source, profiles=3).record.received == 3

    with quax.Acquisition(quax.SimulatedSource(line_rate=0.01)) as slow:
        assert slow.next_profile(timeout=WAIT).shape == (400, 3)  # profile 0 is due at once
        with pytest.raises(TimeoutError):
            slow.next_profile(timeout=0.05)


def test_bad_settings_are_refused_before_a_run():
    source = quax.SimulatedSource()
    with pytest.raises(ValueError, match="never ends"):
        quax.acquire(source)
    for bad in (dict(points=1), dict(dropouts=2.0), dict(noise=-1.0), dict(line_rate=float("nan"))):
        with pytest.raises(ValueError):
            quax.SimulatedSource(**bad)
    with pytest.raises(ValueError):
        quax.Acquisition(source, seconds=-1.0)
    with pytest.raises(ValueError, match="camera mode"):
        quax.Camera(mode="video")
    with pytest.raises(quax.EAcquireBadSettings, match="line 2"):
        quax.Camera(settings="buffers = 8\nbuffers = many\n")
    with pytest.raises(quax.EAcquireException):
        quax.Camera(calibration=os.devnull)


@pytest.fixture
def fake_camera():
    """Aravis's fake GigE Vision camera on 127.0.0.1 (a serial no C++ test
    uses), drawing its own test image."""
    if not quax.genicam_available():
        pytest.skip("built without Aravis")
    gi = pytest.importorskip("gi")
    gi.require_version("Aravis", "0.8")
    from gi.repository import Aravis

    fake = Aravis.GvFakeCamera.new_full("127.0.0.1", "QXPY1", None)
    if not fake.is_running():
        pytest.skip("the fake camera could not take 127.0.0.1")
    yield "Aravis-Fake-QXPY1"
    del fake


def test_a_camera_is_listed_and_acquired_from(fake_camera):
    assert fake_camera in [c.id for c in quax.cameras()]
    camera = quax.Camera(fake_camera, mode=quax.CameraMode.IMAGE)
    scan, record = quax.acquire(camera, profiles=6)
    assert record.received == 6  # damaged buffers on a busy loopback are counted apart
    assert camera.info["mode"] == quax.CameraMode.IMAGE and camera.info["pixel_format"] == "Mono8"
    points = scan.surfaces[0].frames[5].points
    assert points.shape == (camera.info["width"], 3) and np.isfinite(points).all()
    with quax.Acquisition(camera) as run:
        assert run.next_profile(timeout=WAIT).shape == points.shape
    with pytest.raises(quax.EAcquireDevice):
        quax.Acquisition(quax.Camera("Aravis-Fake-nothing-here"))


def test_quaxscan_acquire_stops_on_ctrl_c_and_writes_what_came(fake_camera, tmp_path):
    program = os.environ.get("QUAXSCAN")
    if not program:
        pytest.skip("QUAXSCAN does not name the built quaxscan program")
    out = tmp_path / "run.ply"
    run = subprocess.Popen([program, "acquire", "--camera", fake_camera, "--seconds", "600", "-o", str(out)],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        # The progress line comes once a second; wait for one with profiles in it.
        deadline, seen = time.monotonic() + 4 * WAIT, ""
        while time.monotonic() < deadline and not re.search(r"acquire: [1-9]\d* profiles", seen):
            if select.select([run.stderr], [], [], 1.0)[0]:
                seen += run.stderr.readline()
        run.send_signal(signal.SIGINT)
        stdout, stderr = run.communicate(timeout=4 * WAIT)
    finally:
        run.kill()
    assert run.returncode == 0, seen + stderr
    assert "interrupted" in stderr and "wrote" in stdout
    assert len(quax.read(str(out)).surfaces[0].frames) > 0
