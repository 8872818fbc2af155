# SPDX-License-Identifier: MIT
"""quax.acquire: one acquisition from a source into a scan set."""

import warnings
from typing import Iterable, NamedTuple, Union

from . import _quax


class AcquisitionResult(NamedTuple):
    """What quax.acquire returns: the scan set and the run's record."""

    scan: _quax.ScanSet
    record: _quax.AcquisitionRecord


def acquire(source: _quax.Source, *, profiles: int = 0, seconds: float = 0.0,
            frames_per_surface: int = 0,
            filters: Union[None, _quax.Filter, Iterable[_quax.Filter]] = None,
            filter_threads: int = 1) -> AcquisitionResult:
    """Acquires from `source` (a SimulatedSource or a Camera) until
    `profiles` profiles or `seconds` have passed, whichever comes first, and
    returns an AcquisitionResult (scan, record). `filters` (a Filter, a list
    of them or a FilterChain) run live on each profile as it arrives, on
    `filter_threads` threads (0: one per core), as quaxscan acquire --filters.

    Bad settings raise before anything is acquired (quax.EAcquireBadSettings,
    EAcquireBadCalibration; EAcquireDevice for a camera that cannot be
    opened). A run that ends early (the camera went away) returns what it got
    with `record.failure` saying why, and warns (RuntimeWarning). Ctrl-C stops
    the run. To read profiles while they arrive, use quax.Acquisition.
    """
    if not profiles and not seconds:
        raise ValueError("give profiles= or seconds=: without either the run never ends "
                         "(quax.Acquisition runs until stop())")
    with _quax.Acquisition(source, profiles=profiles, seconds=seconds,
                           frames_per_surface=frames_per_surface, filters=filters,
                           filter_threads=filter_threads) as run:
        run.wait()
        scan = run.take_set()
        record = run.record
    if record.failure:
        warnings.warn(f"the acquisition ended early after {record.received} profiles: "
                      f"{record.failure}", RuntimeWarning, stacklevel=2)
    return AcquisitionResult(scan, record)
