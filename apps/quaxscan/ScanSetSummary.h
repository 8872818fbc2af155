// SPDX-License-Identifier: MIT
// Figures of a scan set for people: counts, bounding boxes, points per
// frame, and how far overlapping surfaces lie apart.
#ifndef QUAX_APPS_QUAXSCAN_SCANSETSUMMARY_H_
#define QUAX_APPS_QUAXSCAN_SCANSETSUMMARY_H_

#include <cstddef>
#include <iosfwd>
#include <vector>

#include "scan/model/ScanSet.h"

namespace quaxscan {

struct Box {
  double low[3] = {0, 0, 0};
  double high[3] = {0, 0, 0};
  bool empty = true;
  void add(double x, double y, double z);
  void add(const Box& other);
};

struct SurfaceSummary {
  std::size_t frames = 0;
  std::size_t framesWithoutPoints = 0;  // no scan line, or an empty one
  std::size_t points = 0;
  std::size_t fewestPoints = 0;  // per frame, over the frames with points
  std::size_t mostPoints = 0;
  std::size_t pointsWithGraysum = 0;  // counted when asked for
  std::size_t pointsWithPixels = 0;
  std::vector<std::size_t> pointsPerFrame;
  Box box;
};

struct SetSummary {
  std::vector<SurfaceSummary> surfaces;
  std::size_t frames = 0;
  std::size_t points = 0;
  Box box;
};

// With `countItems` the points with gray sums and pixels are counted too,
// which takes much longer where items are missing.
SetSummary summarize(const QUAX::ScanSet& set, bool countItems = false);

// Writes the summary as the info command shows it; with `perFrame` the
// points of every frame too.
void printSummary(const SetSummary& summary, bool perFrame, std::ostream& out);

// How far apart overlapping surfaces lie: for points sampled on every later
// surface, the distance to the plane that fits the points of each earlier
// surface within `radius` of it (three or more).
struct OverlapGap {
  double meanDistance = 0.0;
  std::size_t pairs = 0;  // sampled points that found a plane
};
OverlapGap overlapGap(const QUAX::ScanSet& set, double radius);

// Where surfaces overlap: points of each later surface with their distance
// from the plane of an earlier surface's points within `radius` (signed,
// along that plane's normal with z up), about `perSurface` points of each
// later surface per earlier one. overlapGap is the mean of the distances'
// sizes with perSurface = 4000.
struct OverlapSample {
  double x = 0.0, y = 0.0, distance = 0.0;
};
std::vector<OverlapSample> overlapSamples(const QUAX::ScanSet& set,
                                          double radius,
                                          std::size_t perSurface);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_SCANSETSUMMARY_H_
