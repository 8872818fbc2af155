#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The README's quick start in Python: make a scan set of two overlapping
sweeps from NumPy arrays, filter every scan line, stitch the sweeps and
measure a sweep's extent. Exits 1 when the stitch does not bring the sweeps
together.

    PYTHONPATH=build/dev/python /usr/bin/python3 examples/quickstart.py
"""
import sys

# [quickstart]
import numpy as np
import quax


def sweep(y0, off):
    """One sweep along y over a curved sheet: 80 lines of 200 points from y0
    on, each point put off by `off` (a misregistered sweep)."""
    x = -20 + 0.2 * np.arange(200)
    lines = []
    for y in y0 + 0.5 * np.arange(80):
        z = 0.02 * x * x + 2 * np.sin(0.2 * y) + np.cos(x) / 2
        lines.append(np.column_stack([x, np.full_like(x, y), z]) + off)
    return quax.Surface.from_arrays(lines)  # one (n, 3) float64 array per frame


scan = quax.ScanSet([sweep(0, (0.3, -0.2, 0.4)), sweep(30, (0, 0, 0))])
quax.AverageFilter(5, 1.0).apply(scan)            # smooth: n = 5, 1 unit
quax.ChordalDeviationFilter(0.005).apply(scan)    # thin: 0.005 off the chords

report = quax.stitch(scan.surfaces, tolerance=1.0, iterations=10)  # rigid
moved = report.surfaces[0]                        # sweep 0 moves onto sweep 1
print(f"sweep 0: RMS {moved.rms_before:.4f} -> {moved.rms_after:.4f}")

extent = quax.extent(scan.surfaces[0])            # one node per frame
print(f"extent of sweep 0: {len(extent)} nodes")
# [quickstart]
ok = moved.status == "registered" and moved.rms_after is not None and moved.rms_after < 0.01
sys.exit(0 if ok and len(extent) == 80 else 1)
