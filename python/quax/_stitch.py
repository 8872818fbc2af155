# SPDX-License-Identifier: MIT
"""quax.stitch and its report."""

from dataclasses import dataclass, field

import numpy as np

from . import _quax

# The library's stitch methods by name: "both" moves both surfaces of a
# correspondence (in opposite directions), "reference" only the one that is
# not the correspondence's reference (both only translate along local
# normals); "rigid" fits each earlier surface onto the later ones by a
# rotation and translation, recorded in its transform history.
STITCH_METHODS = {"both": 0, "reference": 1, "rigid": 2}


@dataclass
class SurfaceMove:
    """What stitching did to one surface."""

    index: int  # position in the list given to stitch()
    translation: np.ndarray  # (3,): how far its first point moved (NaN without points)
    # The rigid method only (None otherwise): the 4x4 transform applied, the
    # RMS of the paired distances before and after (and per iteration), and
    # the status: "registered", "reference" (the others were fitted onto
    # it), "too_few_pairs" or "not_improved" (not moved).
    transform: np.ndarray = None
    rms_before: float = None
    rms_after: float = None
    rms_per_iteration: np.ndarray = None
    status: str = None


@dataclass
class StitchReport:
    """The result of quax.stitch."""

    method: str
    tolerance: float
    iterations: int
    surfaces: list = field(default_factory=list)  # SurfaceMove per surface
    progress: list = field(default_factory=list)  # percentages, as notified

    @property
    def translations(self):
        """(k, 3) array: how far each surface moved."""
        return np.array([s.translation for s in self.surfaces]).reshape(-1, 3)


def stitch(surfaces, tolerance, iterations, method="rigid", progress=None):
    """Stitches overlapping surfaces in place with the library's stitch tool
    and returns a StitchReport.

    surfaces: Surface objects (e.g. scan.surfaces) or a ScanSet, whose
    surfaces are taken. tolerance: how far apart two points may lie to be
    paired, in the scan's length unit. iterations: rounds of moving (none for
    0 or less). method: a name of STITCH_METHODS. progress: None or a
    callable taking the percentage (0 to 100); it runs on the stitching
    thread with the GIL held. If it raises, the stitch stops there with that
    exception (surfaces keep the moves of the iterations already done).

    The GIL is released while stitching. The literal methods only translate;
    the report says how far each surface moved, and for "rigid" also its
    transform and the RMS of the paired distances before and after.
    """
    if isinstance(surfaces, _quax.ScanSet):
        surfaces = surfaces.surfaces
    surfaces = list(surfaces)
    if method not in STITCH_METHODS:
        raise ValueError(
            f"unknown stitch method {method!r}: one of {', '.join(map(repr, STITCH_METHODS))}"
        )
    report = StitchReport(method=method, tolerance=float(tolerance), iterations=int(iterations))

    def relay(percent):
        report.progress.append(percent)
        if progress is not None:
            progress(percent)

    moved, rigid = _quax._stitch(
        surfaces, float(tolerance), int(iterations), STITCH_METHODS[method], relay
    )
    report.surfaces = [SurfaceMove(i, moved[i]) for i in range(len(surfaces))]
    for move, fit in zip(report.surfaces, rigid):
        for name in ("transform", "rms_before", "rms_after", "rms_per_iteration", "status"):
            setattr(move, name, fit[name])
    return report
