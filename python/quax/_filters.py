# SPDX-License-Identifier: MIT
"""Filters from settings text, and chains of them.

Settings text is turned into filters by the library's filter registry
(QUAX::FilterRegistry), the same that reads quaxscan's --settings files.
Every filter, and so every chain, may be shared between threads."""

from __future__ import annotations

from typing import TYPE_CHECKING, Iterable, Iterator, Optional, Union

if TYPE_CHECKING:
    import numpy as np
    import numpy.typing as npt

from . import _quax


class FilterChain:
    """Several filters applied one after the other, as quaxscan's filter
    command applies the blocks of a settings file. May be shared between
    threads, as its filters may."""

    def __init__(self, filters: Iterable[_quax.Filter]) -> None:
        self.filters = list(filters)
        for f in self.filters:
            if not isinstance(f, _quax.Filter):
                raise TypeError(f"FilterChain takes quax filters, got {type(f).__name__}")

    def apply(self, scan: _quax.ScanSet, *, threads: Optional[int] = None) -> None:
        """Applies every filter in order to `scan` (see Filter.apply)."""
        for f in self.filters:
            f.apply(scan, threads=threads)

    def filter_points(self, points: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
        """The points of one scan line after every filter (a new array)."""
        for f in self.filters:
            points = f.filter_points(points)
        return points

    @property
    def settings(self) -> str:
        """The settings blocks of all filters, in order."""
        return "".join(f.settings for f in self.filters)

    def __iter__(self) -> Iterator[_quax.Filter]:
        return iter(self.filters)

    def __len__(self) -> int:
        return len(self.filters)

    def __repr__(self) -> str:
        return "FilterChain([" + ", ".join(repr(f) for f in self.filters) + "])"


def filter_from_settings(text: str) -> Union[_quax.Filter, FilterChain]:
    """The filter that settings text describes: the filter itself for one
    block, a FilterChain for several (in order). Errors as
    filters_from_settings()."""
    filters = _quax.filters_from_settings(text)
    return filters[0] if len(filters) == 1 else FilterChain(filters)
