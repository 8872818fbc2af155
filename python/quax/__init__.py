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
                         method=quax.StitchMethod.REFERENCE, progress=print)
    quax.write(scan, "out.ply")
    quax.filter_file("in.ply", "out.ply", [f])        # frame by frame, as quaxscan filter
    quax.view(scan, "view.html", color="overlap")    # 3D page; in Jupyter a ScanSet shows it inline
    scan, record = quax.acquire(quax.SimulatedSource(), profiles=1000)  # or quax.Camera(id)
    with quax.Acquisition(quax.Camera(quax.cameras()[0].id)) as run:
        for profile in run.profiles(timeout=1.0):       # (n, 3) arrays as they arrive
            ...                                          # run.stop() ends the run

Closed choices are enums (NPointAlgorithm, StitchMethod, CameraMode); their
names in lower case ("rigid") are accepted as well. The package carries type
stubs (PEP 561).

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
    Acquisition,
    AcquisitionRecord,
    AverageFilter,
    Camera,
    CameraInfo,
    ChordalDeviationFilter,
    Extent,
    Filter,
    Frame,
    FrameReader,
    FrameSequence,
    NoSolution,
    NPointFilter,
    ProfileIterator,
    ScanSet,
    SimulatedSource,
    Source,
    Surface,
    __version__,
    cameras,
    extent,
    filter_file,
    filters_from_settings,
    frames,
    genicam_available,
    read,
    scan_build_number,
    simulate,
    write,
)

# The exceptions: ScanError is the library's root EVXException; each class
# below it has the name and the base of the C++ class (see the tree in
# docs/python.md), and ScanFileError is raised for scan files.
from ._quax import (  # noqa: F401
    EAcquireBadCalibration,
    EAcquireBadSettings,
    EAcquireDevice,
    EAcquireException,
    EAcquireNotAvailable,
    EExtensionException,
    EExtensionNoImplementation,
    EExtensionNotPresent,
    EGeoDegenerateVector,
    EGeoException,
    EGeoInvalidParameter,
    EMathDivisionByZero,
    EMathException,
    EMathNegativeTol,
    EMathSingularMatrix,
    EMathZeroVector,
    EScanContainerBadRead,
    EScanException,
    EScanFrameBadRead,
    EScanFrameDataException,
    EScanFrameExtensionException,
    EScanFrameNoExtensionException,
    EScanFrameNoGrayImage,
    EScanFrameNoScanLine,
    EScanFrameNoTimeData,
    EScanFrameTimeDataExists,
    EScanImageBoundsException,
    EScanImageColumnTooLarge,
    EScanImageRowTooLarge,
    EScanIOBadAttribute,
    EScanIOBadFooter,
    EScanIOBadHeader,
    EScanIOException,
    EScanLineBadRead,
    EScanNeighborhoodSizeNotOddNumber,
    EScanNeighborhoodSizeOutOfRange,
    EScanNoGraysumData,
    EScanNonPositiveDeviationLimit,
    EScanNonPositiveMaxSpan,
    EScanNonPositiveNumberOfPoints,
    EScanNonPositiveProximityLimit,
    EScanNoPointExtension,
    EScanNoTPData,
    EScanNPointFilterPointsNotExact,
    EScanNPointFilterSolutionNotFound,
    EScanNPointFilterTooLarge,
    EScanNPointFilterTooSmall,
    EScanPointBadRead,
    EScanSetBadRead,
    EScanSurfaceBadRead,
    EScanSurfaceComplete,
    EScanSurfaceIncomplete,
    EScanSurfaceRangeException,
    EScanSurfaceWaitTimeout,
    EScanTransformHistoryEmpty,
    EScanUnknownNPointFilterAlgorithm,
    EThreadException,
    EThreadNoMutexAvailable,
    EThreadNoSemaphoreAvailable,
    EThreadWaitFailOnMutex,
    EThreadWaitFailOnSemaphore,
    EThreadWaitOnNullSemaphore,
    EVXDLLException,
    EVXDLLWrongVersion,
    EVXException,
    EVXIOAttributeNotRead,
    EVXIOBadFooter,
    EVXIOException,
    ScanError,
    ScanFileError,
)
from ._acquire import AcquisitionResult, acquire  # noqa: F401
from ._enums import CameraMode, NPointAlgorithm, StitchMethod  # noqa: F401
from ._filters import FilterChain, filter_from_settings  # noqa: F401
from ._stitch import STITCH_METHODS, StitchReport, stitch  # noqa: F401
from ._view import view  # noqa: F401  (also gives ScanSet its _repr_html_)

# What the package offers (for `from quax import *`, and for type checkers,
# which take only the names listed here as the package's own).
__all__ = [
    "__version__",
    "Acquisition", "AcquisitionRecord", "AverageFilter", "Camera", "CameraInfo",
    "ChordalDeviationFilter", "Extent", "Filter", "Frame", "FrameReader",
    "FrameSequence", "NPointFilter", "ProfileIterator", "ScanSet", "SimulatedSource",
    "Source", "Surface", "cameras", "extent", "filter_file", "filters_from_settings", "frames",
    "genicam_available", "read", "scan_build_number", "simulate", "write",
    "AcquisitionResult", "CameraMode", "FilterChain", "NPointAlgorithm",
    "STITCH_METHODS", "StitchMethod", "StitchReport", "acquire",
    "filter_from_settings", "stitch", "view",
    # exceptions
    "EAcquireBadCalibration", "EAcquireBadSettings", "EAcquireDevice",
    "EAcquireException", "EAcquireNotAvailable", "EExtensionException",
    "EExtensionNoImplementation", "EExtensionNotPresent", "EGeoDegenerateVector",
    "EGeoException", "EGeoInvalidParameter", "EMathDivisionByZero", "EMathException",
    "EMathNegativeTol", "EMathSingularMatrix", "EMathZeroVector",
    "EScanContainerBadRead", "EScanException", "EScanFrameBadRead",
    "EScanFrameDataException", "EScanFrameExtensionException",
    "EScanFrameNoExtensionException", "EScanFrameNoGrayImage", "EScanFrameNoScanLine",
    "EScanFrameNoTimeData", "EScanFrameTimeDataExists", "EScanIOBadAttribute",
    "EScanIOBadFooter", "EScanIOBadHeader", "EScanIOException",
    "EScanImageBoundsException", "EScanImageColumnTooLarge", "EScanImageRowTooLarge",
    "EScanLineBadRead", "EScanNPointFilterPointsNotExact",
    "EScanNPointFilterSolutionNotFound", "EScanNPointFilterTooLarge",
    "EScanNPointFilterTooSmall", "EScanNeighborhoodSizeNotOddNumber",
    "EScanNeighborhoodSizeOutOfRange", "EScanNoGraysumData", "EScanNoPointExtension",
    "EScanNoTPData", "EScanNonPositiveDeviationLimit", "EScanNonPositiveMaxSpan",
    "EScanNonPositiveNumberOfPoints", "EScanNonPositiveProximityLimit",
    "EScanPointBadRead", "EScanSetBadRead", "EScanSurfaceBadRead",
    "EScanSurfaceComplete", "EScanSurfaceIncomplete", "EScanSurfaceRangeException",
    "EScanSurfaceWaitTimeout", "EScanTransformHistoryEmpty",
    "EScanUnknownNPointFilterAlgorithm", "EThreadException", "EThreadNoMutexAvailable",
    "EThreadNoSemaphoreAvailable", "EThreadWaitFailOnMutex",
    "EThreadWaitFailOnSemaphore", "EThreadWaitOnNullSemaphore", "EVXDLLException",
    "EVXDLLWrongVersion", "EVXException", "EVXIOAttributeNotRead", "EVXIOBadFooter",
    "EVXIOException", "NoSolution", "ScanError", "ScanFileError",
]
