# SPDX-License-Identifier: MIT
"""Filters from settings text, and chains of them."""

from . import _quax


class FilterChain:
    """Several filters applied one after the other, as quaxscan's filter
    command applies the blocks of a settings file."""

    def __init__(self, filters):
        self.filters = list(filters)
        for f in self.filters:
            if not isinstance(f, _quax.Filter):
                raise TypeError(f"FilterChain takes quax filters, got {type(f).__name__}")

    def apply(self, scan, *, threads=None):
        """Applies every filter in order to `scan` (see Filter.apply)."""
        for f in self.filters:
            f.apply(scan, threads=threads)

    def filter_points(self, points):
        """The points of one scan line after every filter (a new array)."""
        for f in self.filters:
            points = f.filter_points(points)
        return points

    @property
    def settings(self):
        """The settings blocks of all filters, in order."""
        return "".join(f.settings for f in self.filters)

    def __iter__(self):
        return iter(self.filters)

    def __len__(self):
        return len(self.filters)

    def __repr__(self):
        return "FilterChain([" + ", ".join(repr(f) for f in self.filters) + "])"


def filter_from_settings(text):
    """The filter that settings text describes: the filter itself for one
    block, a FilterChain for several (in order). Errors as
    filters_from_settings()."""
    filters = _quax.filters_from_settings(text)
    return filters[0] if len(filters) == 1 else FilterChain(filters)
