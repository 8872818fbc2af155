// SPDX-License-Identifier: MIT
// The rigid stitch (internal, not installed): registers each earlier
// surface onto the later ones by a rotation and a translation, fitted point
// to plane.
//
// The surfaces are taken from the last to the first. For a moving surface
// A, every later surface B whose box (widened by the tolerance) meets A's
// gives a reference cloud: B's points around A with their unit normals,
// which come from the neighbouring points on the same line and on the
// neighbouring frames (lines are ordered, so a walk along the neighbouring
// frame finds them), indexed in a StitchPointIndex. A fixed sample of A's
// points in the overlap is paired, at A's current pose, with the nearest
// reference point within the tolerance; each pair's residual is the sample's
// distance from the reference point's plane. One Gauss-Newton step of the
// six unknowns (a small rotation about the samples' centre and a
// translation), with robust (Cauchy) weights, updates the pose, until the
// iterations run out or the step moves no sample by more than a millionth
// of the tolerance. A is then moved through its transform(), which records
// the move in its transform history.
#ifndef QUAX_SCAN_STITCH_RIGIDSTITCH_H_
#define QUAX_SCAN_STITCH_RIGIDSTITCH_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scan/stitch/ScanStitchTool.h"
#include "scan/stitch/StitchPointIndex.h"
#include "scan/stitch/StitchSteps.h"

namespace QUAX {
namespace stitch_detail {

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

// The unit normal at point `index` of frame `frame`, from the directions
// of the points up to `reach` steps away on its line and of the nearest
// points on the frames up to `reach` away, as far as each k-th neighbour
// lies within k * `stepLimit` of the point on both sides (one side next to
// a gap or an end). `centre` gets the mean of the point and its
// nearest neighbours, through which the plane is taken. False
// where the neighbours do not span a plane or the surface kinks at the
// point. `cursors` (2 * reach, zero at the start of each frame) follow the
// neighbouring frames along.
bool framedNormal(const FramedPoints& surface, std::size_t frame,
                  std::size_t index, std::size_t reach, double stepLimit,
                  std::size_t* cursors, StitchPosition& normal,
                  StitchPosition& centre);

// A symmetric 6x6 system H x = b, solved in the directions whose
// eigenvalue is at least `relativeFloor` times the largest; the others are
// left at 0. False when H has no such direction.
bool solveSymmetric6(const double h[6][6], const double b[6],
                     double relativeFloor, double x[6]);

class RigidStitch {
 public:
  using Report = ScanStitchTool::RigidSurfaceReport;

  RigidStitch(double tolerance, int iterations);
  RigidStitch(const RigidStitch&) = delete;
  RigidStitch& operator=(const RigidStitch&) = delete;
  ~RigidStitch();

  // Registers entries[0 .. n-2] onto the later ones, filling reports[i]
  // for entries[i] and moving the surfaces. `progress` gets percentages.
  void run(const std::vector<SurfaceEntry*>& entries,
           std::vector<Report>& reports,
           const std::function<void(int)>& progress);

  // Samples taken from a moving surface; fewest pairs a fit accepts.
  static constexpr std::size_t kSamples = 8192;
  static constexpr std::size_t kMinPairs = 32;

 private:
  struct Cloud;
  struct Pose;
  struct Pass;

  void registerSurface(SurfaceEntry& moving,
                       const std::vector<SurfaceEntry*>& later, Report& report,
                       const std::function<void(int)>& tick);
  // Pairs the samples at `pose` with the clouds; fills _pairs and returns
  // the pass's figures.
  Pass pairSamples(const Pose& pose);

  double _tolerance;
  int _iterations;
  std::vector<std::unique_ptr<Cloud>> _clouds;
  std::vector<StitchPosition> _samples;
  struct Pair {
    StitchPosition offset;  // transformed sample minus the samples' centre
    StitchPosition normal;
    double residual;
  };
  std::vector<Pair> _pairs;
  std::vector<double> _scratch;
};

}  // namespace stitch_detail
}  // namespace QUAX

#endif  // QUAX_SCAN_STITCH_RIGIDSTITCH_H_
