// SPDX-License-Identifier: MIT
// A surface's points as an ordered grid (internal, not installed): frames in
// order, each an ordered line. The neighbours of a point are found by
// walking its line and the neighbouring frames, with no nearest-neighbour
// search; the local surface through a point is fitted over them.
#ifndef QUAX_SCAN_STITCH_FRAMEDSURFACE_H_
#define QUAX_SCAN_STITCH_FRAMEDSURFACE_H_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "scan/model/ScanSurface.h"
#include "scan/stitch/StitchPointIndex.h"

namespace QUAX {
namespace stitch_detail {

// Small vector arithmetic on positions, shared by the grid walk and the
// rigid fit.
using Vec = StitchPosition;
inline Vec sub(const Vec& a, const Vec& b) noexcept {
  return Vec{a.x - b.x, a.y - b.y, a.z - b.z};
}
inline double dot(const Vec& a, const Vec& b) noexcept {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec cross(const Vec& a, const Vec& b) noexcept {
  return Vec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z,
             a.x * b.y - a.y * b.x};
}
inline double length(const Vec& a) noexcept { return std::sqrt(dot(a, a)); }
inline bool finite(const Vec& p) noexcept {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
// The middle value (the upper one of an even count); reorders `values`.
inline double median(std::vector<double>& values) {
  if (values.empty()) return 0.0;
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// A surface's points frame by frame: frame f holds
// points[start[f]] up to points[start[f + 1]].
struct FramedPoints {
  std::vector<StitchPosition> points;
  std::vector<std::size_t> start;
  std::size_t frameCount() const noexcept {
    return start.empty() ? 0 : start.size() - 1;
  }
};

// The frames of `surface` that hold a point in the box [lo, hi], and
// those up to `reach` frames from them; the other frames are left empty.
FramedPoints gatherPoints(_ScanSurface<double>& surface, const double lo[3],
                          const double hi[3], std::size_t reach);

// Typical distance between neighbouring points along a line and between
// neighbouring frames (medians over a sample); 0 when there are none.
struct Spacing {
  double alongLine = 0.0;
  double acrossFrames = 0.0;
};
Spacing measureSpacing(const FramedPoints& surface);

// Index of the point of line [first, first + count) nearest to p, walking
// from `cursor` (count > 0) towards p while the distance falls: along an
// ordered line the distance falls to the nearest point and rises after it.
std::size_t walkToNearest(const StitchPosition* first, std::size_t count,
                          const StitchPosition& p, std::size_t cursor) noexcept;

// The surface around a point of the grid: a quadratic height w over the
// plane of the point's neighbours, in coordinates (u, v) along the plane
// from `origin` (the measured point), w = c0 + c1 u + c2 v + c3 u² +
// c4 u v + c5 v², axis[0] being the plane's normal and axis[1], axis[2]
// spanning it.
struct FramedPatch {
  StitchPosition origin;
  StitchPosition axis[3];
  double c[6] = {0, 0, 0, 0, 0, 0};
  // The point of the patch under (or over) p, and the unit normal there.
  void at(const StitchPosition& p, StitchPosition& point,
          StitchPosition& normal) const noexcept;
};

// Fits a quadratic patch, least squares, to the points around point
// `index` of `frame`: up to `reach` points either way along its line and
// along each frame up to `reach` frames away (from the point of that frame
// nearest to it), as far as no step between neighbours on a line exceeds
// `stepLimit` and the k-th frame's nearest point lies within k * stepLimit.
// False where the neighbours do not span a surface (no other frame, too
// few points) or do not lie near one plane (an edge, a step, a kink): the
// spread off their plane exceeds `flatness` times the smaller spread in it.
bool fitFramedPatch(const FramedPoints& surface, std::size_t frame,
                    std::size_t index, std::size_t reach, double stepLimit,
                    double flatness, FramedPatch& patch);

// A symmetric 6x6 system H x = b, solved in the directions whose
// eigenvalue is at least `relativeFloor` times the largest; the others are
// left at 0. False when H has no such direction.
bool solveSymmetric6(const double h[6][6], const double b[6],
                     double relativeFloor, double x[6]);

}  // namespace stitch_detail
}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_FRAMEDSURFACE_H_
