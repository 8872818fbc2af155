# SPDX-License-Identifier: MIT
"""quax.stitch and its report."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any, Callable, Dict, List, Mapping, Optional, Sequence, Union

if TYPE_CHECKING:
    # NumPy is imported where it is used: a process that only streams files
    # (a batch worker) does without it.
    import numpy as np
    import numpy.typing as npt

from . import _quax
from ._enums import StitchMethod, choice

# The library's stitch methods by name, with the library's numbers (the
# members of StitchMethod).
STITCH_METHODS = {m.name.lower(): int(m) for m in StitchMethod}

# The rigid method's statuses in words, and what helps when it did not move
# a surface.
STATUS_WORDS = {
    "reference": "reference: the others were fitted onto it; not moved",
    "registered": "registered",
    "too_few_pairs": "not registered: too few points within the tolerance",
    "not_improved": "not registered: no fit brought it closer",
}
STATUS_HINTS = {
    "too_few_pairs": "it overlaps the later surfaces too little within the tolerance; "
    "a larger tolerance pairs more points, and initial= starts it where it roughly belongs",
    "not_improved": "it lies too far from where it belongs for the fit to find its way; "
    "give a rough starting transform with initial=, or a larger tolerance",
    "not_converged": "the last iteration still changed the RMS distance; more iterations let the fit settle",
}


@dataclass
class SurfaceMove:
    """What stitching did to one surface."""

    index: int  # position in the list given to stitch()
    translation: npt.NDArray[np.float64]  # (3,): how far its first point moved (NaN without points)
    # The rigid method only (None otherwise): the 4x4 transform applied, the
    # RMS of the paired distances before and after (and per iteration), and
    # the status: "registered", "reference" (the others were fitted onto
    # it), "too_few_pairs" or "not_improved" (not moved); `message` says it
    # in words and `hint` what helps ("" when nothing is needed).
    transform: Optional[npt.NDArray[np.float64]] = None
    rms_before: Optional[float] = None
    rms_after: Optional[float] = None
    rms_per_iteration: Optional[npt.NDArray[np.float64]] = None
    status: Optional[str] = None
    converged: Optional[bool] = None
    message: Optional[str] = None
    hint: Optional[str] = None


@dataclass
class StitchReport:
    """The result of quax.stitch."""

    method: str
    tolerance: float
    iterations: int
    surfaces: List[SurfaceMove] = field(default_factory=list)  # per surface
    progress: List[int] = field(default_factory=list)  # percentages, as notified

    @property
    def translations(self) -> npt.NDArray[np.float64]:
        """(k, 3) array: how far each surface moved."""
        import numpy as np

        return np.array([s.translation for s in self.surfaces]).reshape(-1, 3)


# Starting transforms: a 4x4 (or 3x4) or None per surface, or by index.
if TYPE_CHECKING:
    Initial = Union[Sequence[Optional[npt.ArrayLike]], Mapping[int, Optional[npt.ArrayLike]], None]


def _initial_array(initial: Initial, count: int) -> Optional[npt.NDArray[np.float64]]:
    """(count, 4, 4) starting transforms from None, a sequence (one 4x4 or
    None per surface) or a dict {surface index: 4x4}; identity elsewhere."""
    if initial is None:
        return None
    import numpy as np

    out = np.tile(np.eye(4), (count, 1, 1))
    items: Any = initial.items() if isinstance(initial, Mapping) else enumerate(initial)
    for index, m in items:
        if not isinstance(index, (int, np.integer)) or not 0 <= index < count:
            raise ValueError(f"initial: no surface {index!r} (stitching {count})")
        if m is None:
            continue
        m = np.asarray(m, dtype=np.float64)
        if m.shape not in ((4, 4), (3, 4)):
            raise ValueError(f"initial[{index}]: a 4x4 (or 3x4) transform, got shape {m.shape}")
        out[index, :3, :] = m[:3, :]
    if not isinstance(initial, Mapping) and len(initial) != count:
        raise ValueError(f"initial: {len(initial)} transforms for {count} surfaces")
    return out


def stitch(
    surfaces: Union[_quax.ScanSet, Sequence[_quax.Surface]],
    tolerance: float,
    iterations: int,
    method: Union[StitchMethod, str] = "rigid",
    progress: Optional[Callable[[int], object]] = None,
    initial: Initial = None,
) -> StitchReport:
    """Stitches overlapping surfaces in place with the library's stitch tool
    and returns a StitchReport.

    surfaces: Surface objects (e.g. scan.surfaces) or a ScanSet, whose
    surfaces are taken. tolerance: how far apart two points may lie to be
    paired, in the scan's length unit. iterations: rounds of moving (none for
    0 or less). method: a StitchMethod or its name in lower case
    ("rigid", "reference", "both"). progress: None or a
    callable taking the percentage (0 to 100); it runs on the stitching
    thread with the GIL held. If it raises, the stitch stops there with that
    exception (surfaces keep the moves of the iterations already done).

    initial: None, or where the rigid method starts to fit each surface, as
    general registration libraries take a starting transform: a list with a
    4x4 transform (or None) per surface, or a dict {surface index: 4x4}. The
    fit refines it; a surface that is not registered stays where it is. A
    transform that is not a rotation and a translation raises
    quax.EMathSingularMatrix before anything moves.

    The GIL is released while stitching. The literal methods only translate;
    the report says how far each surface moved, and for "rigid" also its
    transform and the RMS of the paired distances before and after.
    """
    surfaces = list(surfaces.surfaces if isinstance(surfaces, _quax.ScanSet) else surfaces)
    chosen = choice(StitchMethod, method, "stitch method")
    report = StitchReport(method=chosen.name.lower(), tolerance=float(tolerance), iterations=int(iterations))

    def relay(percent: int) -> None:
        report.progress.append(percent)
        if progress is not None:
            progress(percent)

    starts = _initial_array(initial, len(surfaces))
    if starts is not None and chosen != StitchMethod.RIGID:
        raise ValueError("initial= is for method='rigid': the other methods only translate")
    moved, rigid = _quax._stitch(
        surfaces, float(tolerance), int(iterations), int(chosen), relay, starts
    )
    report.surfaces = [SurfaceMove(i, moved[i]) for i in range(len(surfaces))]
    for move, fit in zip(report.surfaces, rigid):
        for name in ("transform", "rms_before", "rms_after", "rms_per_iteration", "status", "converged"):
            setattr(move, name, fit[name])
        status, rms = fit["status"], fit["rms_per_iteration"]
        move.message = STATUS_WORDS.get(status, status)
        settling = (
            status == "registered"
            and not move.converged
            and len(rms) >= 2
            and abs(rms[-1] - rms[-2]) > 0.01 * rms[-1]
        )
        move.hint = STATUS_HINTS.get("not_converged" if settling else status, "")
    return report
