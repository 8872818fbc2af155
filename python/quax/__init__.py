# SPDX-License-Identifier: MIT
"""quax: the QUAX scan library on NumPy arrays.

    import quax
    scan = quax.read("scan.ply")                       # or quax.simulate(...)
    for surface, frame in quax.frames("big.ply"):      # frame by frame, in
        frame.points                                   # the memory of one
    line = scan.surfaces[0].frames[20].points          # (n, 3) float64 copy
    surface = quax.Surface.from_arrays([a0, a1, ...])  # one (n_i, 3) array per frame
    scan2 = quax.ScanSet([surface])
    f = quax.filter_from_settings(open("filters.settings").read())
    f.apply(scan)                                      # in place, without the GIL
    ext = quax.extent(scan.surfaces[0])                # ext.nodes, ext.text, ext.reference_line
    report = quax.stitch(scan.surfaces, tolerance=0.5, iterations=10,
                         method="reference", progress=print)
    quax.write(scan, "out.ply")
    quax.view(scan, "view.html", color="overlap")    # 3D page; in Jupyter a ScanSet shows it inline

Memory: every array the module returns is a new copy (a scan line keeps each
point as an object with its extension items, so its coordinates are never
one array to share). Arrays given to it are copied into the library's
storage. ScanSet, Surface and Frame objects refer to the library's data and
keep what they refer to alive.

Errors: the library's exceptions arrive as Python classes of the same names
and bases under quax.ScanError (the library's EVXException), each with
.code, .class_chain and .description; the scan files' errors as
quax.ScanFileError. Bad arrays raise TypeError or ValueError.

Threads: apply(), stitch(), extent(), read(), write() and the reading of
each frame of frames() release the GIL.
Scan data that such a call is changing raise RuntimeError when used from
another thread before it returns.
"""

from ._quax import (  # noqa: F401  (the compiled part)
    AverageFilter,
    ChordalDeviationFilter,
    Extent,
    Filter,
    Frame,
    FrameSequence,
    NoSolution,
    NPointFilter,
    ScanSet,
    Surface,
    extent,
    filters_from_settings,
    FrameReader,
    frames,
    read,
    scan_build_number,
    simulate,
    write,
)
from . import _quax
from ._filters import FilterChain, filter_from_settings  # noqa: F401
from ._stitch import STITCH_METHODS, StitchReport, stitch  # noqa: F401
from ._view import view  # noqa: F401  (also gives ScanSet its _repr_html_)

# The exception classes: ScanError (alias EVXException), the library's
# families below it, and ScanFileError.
for _name in dir(_quax):
    _value = getattr(_quax, _name)
    if isinstance(_value, type) and issubclass(_value, _quax.ScanError):
        globals()[_name] = _value
EVXException = _quax.ScanError
del _name, _value

__version__ = "4.0.1"
