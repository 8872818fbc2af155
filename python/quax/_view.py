# SPDX-License-Identifier: MIT
"""quax.view: the interactive 3D view of a scan set, one self-contained HTML
page (three.js inlined, the points as binary blocks) that opens in any
browser without a network, and inline in Jupyter."""

import html
import os
from typing import Optional, Sequence, Union

from . import _quax
from ._filters import FilterChain

COLORS = ("height", "surface", "gray", "deviation", "overlap")
DEFAULT_MAX_POINTS = 3_000_000
# Pages shown inline in a notebook stay small: the notebook keeps them.
REPR_MAX_POINTS = 200_000


def view(
    scan: _quax.ScanSet,
    path: Union[str, "os.PathLike[str]", None] = None,
    *,
    before: Optional[_quax.ScanSet] = None,
    color: str = "height",
    max_points: int = DEFAULT_MAX_POINTS,
    first_frame_points: Optional[int] = None,
    filters: Union[_quax.Filter, FilterChain, Sequence[_quax.Filter], None] = None,
    tolerance: float = 1.0,
    title: Optional[str] = None,
) -> Union[str, "os.PathLike[str]"]:
    """The 3D view page of `scan`, as `quaxscan view` writes it.

    color: "height", "surface", "gray" (gray sum), "deviation" (signed
    distance from the line after `filters`: a Filter, a FilterChain or a
    list of filters; default an average filter over 5 points) or "overlap"
    (signed distance to the nearest point of another surface within
    `tolerance`). `before`: a second ScanSet (e.g. before stitching) to
    switch to, on the same colour scale. More than `max_points` points are
    thinned evenly, and the page says so. The first frame draws at most
    `first_frame_points` of them, evenly, and the rest follow; None keeps
    the library's default (250,000), 0 draws every point in the first frame.

    Returns the page as text; with `path`, writes it there (UTF-8) and
    returns the path. Raises ValueError for bad options and quax.ScanError
    from the library. The GIL is released while the page is made.
    """
    if not hasattr(_quax, "_view_page"):
        raise RuntimeError("quax was built without the 3D view: three.js was not found "
                           "(Debian: libjs-three, scripts/install-deps view)")
    if color not in COLORS:
        raise ValueError(f"color must be one of {', '.join(COLORS)}, got {color!r}")
    if isinstance(max_points, bool) or not isinstance(max_points, int) \
            or not 2 <= max_points < 2**32:
        raise ValueError(f"max_points must be an int from 2 to 2**32 - 1, got {max_points!r}")
    if first_frame_points is not None and (
            isinstance(first_frame_points, bool) or not isinstance(first_frame_points, int)
            or not 0 <= first_frame_points < 2**32):
        raise ValueError("first_frame_points must be None or an int from 0 to 2**32 - 1, "
                         f"got {first_frame_points!r}")
    if filters is None:
        filters = []
    elif isinstance(filters, (_quax.Filter, FilterChain)):
        filters = list(filters) if isinstance(filters, FilterChain) else [filters]
    page = _quax._view_page(scan, before, color, max_points, first_frame_points,
                            list(filters),
                            float(tolerance), "Scan set" if title is None else str(title))
    if path is None:
        return page
    with open(path, "w", encoding="utf-8") as out:
        out.write(page)
    return path


def _repr_html_(scan: _quax.ScanSet) -> str:
    """The view inline in Jupyter, in a frame of its own, thinned to
    REPR_MAX_POINTS."""
    page = str(view(scan, max_points=REPR_MAX_POINTS))
    return ('<iframe style="width: 100%; height: 560px; border: 0" srcdoc="'
            + html.escape(page, quote=True) + '"></iframe>')


setattr(_quax.ScanSet, "_repr_html_", _repr_html_)
