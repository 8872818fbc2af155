#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A tour of the Python module quax: simulate a scan, filter it, stitch its
sweeps, measure an extent and plot it all to a PNG with matplotlib.

    PYTHONPATH=build/dev/python /usr/bin/python3 examples/python_tour.py [out-folder]

Writes scan.ply, filtered.ply, stitched.ply, nodes.csv and tour.png into the
folder (build/python_tour unless given) and prints what it did.
"""
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # files only, no display
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import quax  # noqa: E402

root = Path(__file__).resolve().parents[1]
out = Path(sys.argv[1]) if len(sys.argv) > 1 else root / "build" / "python_tour"
out.mkdir(parents=True, exist_ok=True)

# %% A scan: what `quaxscan simulate --frames 80 --points 300` writes. Sweep 1
# is registered off by (0.15, -0.10, 0.40) against sweep 0.
scan = quax.simulate(frames=80, points=300, seed=3)
quax.write(scan, out / "scan.ply")
print(f"simulated {scan!r} -> {out / 'scan.ply'}")

# %% One scan line, as an (n, 3) array (a copy), before and after the filters
# of the example settings file (average, chordal deviation, N-point).
settings = (root / "examples" / "data" / "filters.settings").read_text()
filters = quax.FilterChain(quax.filters_from_settings(settings))
line = scan.surfaces[0].frames[40].points
thinned = filters.filter_points(line)
print(f"frame 40: {len(line)} points, {len(thinned)} after {', '.join(f.key for f in filters)}")

# %% Filtering the whole set in place (the GIL is released meanwhile).
filtered = quax.read(out / "scan.ply")
quax.filter_from_settings(settings).apply(filtered)
quax.write(filtered, out / "filtered.ply")
print(f"filtered: {scan.point_count} -> {filtered.point_count} points")

# %% Stitching: a strip across the overlap before and after.
def strip(surface):
    """Points of a surface near x = 0 (along the sweep), as (y, z)."""
    p = surface.points
    keep = np.abs(p[:, 0]) < 0.5
    return p[keep, 1], p[keep, 2]


before = [strip(s) for s in scan.surfaces]
progress: list[int] = []
report = quax.stitch(scan.surfaces, tolerance=1.0, iterations=4, method=quax.StitchMethod.REFERENCE,
                     progress=progress.append)
after = [strip(s) for s in scan.surfaces]
quax.write(scan, out / "stitched.ply")
print(f"stitched (progress {progress}):")
for move in report.surfaces:
    print(f"  surface {move.index} moved by {np.round(move.translation, 4)}")

# %% The extent of the stitched sweep 1: one node per frame.
extent = quax.extent(scan.surfaces[1])
(out / "nodes.csv").write_text(extent.text)
origin, direction = extent.reference_line
print(f"extent of surface 1: {len(extent)} nodes, reference line through "
      f"{np.round(origin, 3)} along {np.round(direction, 4)}")

# %% The figure.
fig, axes = plt.subplots(1, 3, figsize=(16, 4.5))
ax = axes[0]
ax.plot(line[:, 0], line[:, 2], ".", color="0.6", ms=3, label="measured")
ax.plot(thinned[:, 0], thinned[:, 2], "-o", color="tab:red", ms=3, lw=1,
        label=f"filtered ({len(thinned)} points)")
ax.set(title="scan line 40 of sweep 0", xlabel="x", ylabel="z")
ax.legend()

ax = axes[1]
for k, ((y0, z0), (y1, z1)) in enumerate(zip(before, after)):
    ax.plot(y0, z0, ".", ms=2, color=f"C{k}", alpha=0.3, label=f"sweep {k} before")
    ax.plot(y1, z1, "-", lw=1, color=f"C{k}", label=f"sweep {k} stitched")
ax.set(title="across the overlap (|x| < 0.5)", xlabel="y", ylabel="z")
ax.legend(fontsize="small")

ax = axes[2]
ax.plot(extent.frame_indices, extent.nodes[:, 9], color="tab:green")
ax.set(title="extent of sweep 1: middle point off the reference line",
       xlabel="frame", ylabel="distance")
fig.tight_layout()
fig.savefig(out / "tour.png", dpi=100)
print(f"plotted -> {out / 'tour.png'}")
