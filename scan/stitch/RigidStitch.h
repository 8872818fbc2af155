// SPDX-License-Identifier: MIT
// The rigid stitch (internal, not installed): registers each earlier
// surface onto the later ones by a rotation and a translation, fitted point
// to plane.
//
// The surfaces are taken from the last to the first. For a moving surface
// A, every later surface B whose box (widened by the tolerance) meets A's
// gives a reference cloud: B's points around A, indexed in a
// StitchPointIndex. A fixed sample of A's points in the overlap is paired,
// at A's current pose, with the nearest reference point within the
// tolerance. The pair's target is the quadratic patch fitted over that
// point's neighbours on its line and on the neighbouring frames (lines are
// ordered, so walks find them): the point of the patch under the reference
// point and the patch's normal there, so that neither the point's noise nor
// a noisy normal enters the fit; each sample is likewise its own point's
// patch centre on A. Samples that lie beside their patch rather than over
// it (past the edge of B) are not paired. The residual is the sample's
// distance from the patch's plane; its direction in the fit is the
// sample's own normal on A, whose noise is independent of the target's. One
// Gauss-Newton step of the six unknowns (a small rotation about the samples'
// centre and a translation), with robust (Cauchy) weights, updates the pose,
// starting from the surface's initial transform, until the iterations run
// out or the step moves no sample by more than a millionth of the search
// radius or a twentieth of the pairs' RMS distance. Every step is taken:
// pairs that lie beyond the tolerance at the start come within it as the
// fit turns the surface, so a turn whose far points move by several
// tolerances is still recovered. Once the RMS is small the search radius
// shrinks to a few point spacings. The result is kept when it pairs more
// samples or does not raise their RMS distance by more than a percent, and
// it moves no sample farther than the paired overlap is wide. A is then
// moved through its transform(), which records the move in its transform
// history.
#ifndef QUAX_SCAN_STITCH_RIGIDSTITCH_H_
#define QUAX_SCAN_STITCH_RIGIDSTITCH_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scan/stitch/FramedSurface.h"
#include "scan/stitch/ScanStitchTool.h"
#include "scan/stitch/StitchPointIndex.h"
#include "scan/stitch/StitchSteps.h"

namespace QUAX {
namespace stitch_detail {

class RigidStitch {
 public:
  using Report = ScanStitchTool::RigidSurfaceReport;

  RigidStitch(double tolerance, int iterations);
  RigidStitch(const RigidStitch&) = delete;
  RigidStitch& operator=(const RigidStitch&) = delete;
  ~RigidStitch();

  // Registers entries[0 .. n-2] onto the later ones, filling reports[i]
  // for entries[i] and moving the surfaces; the fit of entries[i] starts at
  // initial[i] (a rigid transform of its points). `progress` gets
  // percentages.
  void run(const std::vector<SurfaceEntry*>& entries,
           const std::vector<_MathMatrix<double>>& initial,
           std::vector<Report>& reports,
           const std::function<void(int)>& progress);

  // Samples taken from a moving surface; fewest pairs a fit accepts.
  static constexpr std::size_t kSamples = 8192;
  static constexpr std::size_t kMinPairs = 32;

 private:
  struct Box;
  struct Cloud;
  struct Pose;
  struct Pass;

  void registerSurface(SurfaceEntry& moving, const _MathMatrix<double>& initial,
                       const std::vector<SurfaceEntry*>& later, Report& report,
                       const std::function<void(int)>& tick);
  // The later surfaces' points near the moving box, indexed: false where
  // the moving surface overlaps none of them.
  bool gatherClouds(const Box& movingBox,
                    const std::vector<SurfaceEntry*>& later);
  // The moving surface's points that the fit pairs, near the clouds at the
  // start pose.
  void gatherSamples(SurfaceEntry& moving, const Pose& start);
  // Pairs the samples at `pose` with the clouds; fills _pairs and returns
  // the pass's figures.
  Pass pairSamples(const Pose& pose);
  // One robust Gauss-Newton step from the pairs of `pass`: a turn about the
  // samples' centre and a shift; false where the system is degenerate.
  bool solveStep(const Pass& pass, StitchPosition& omega,
                 StitchPosition& shift);
  // Shrinks the clouds' search radii once the surfaces lie close (pass RMS
  // `rms`); true where one changed, so that the pairs are looked for again.
  bool narrowSearch(double rms);
  // Moves the surface by the fit's pose, or refuses the fit (a sample moved
  // farther than `reach` from its start, too few pairs, a worse RMS), and
  // fills the report's figures after.
  void settle(SurfaceEntry& moving, const Pose& start, const Pose& pose,
              const Pass& pass, double reach, Report& report);

  double _tolerance;
  int _iterations;
  std::vector<std::unique_ptr<Cloud>> _clouds;
  struct Sample {
    StitchPosition point;
    // The moving surface's own normal there, (0, 0, 0) where it has none.
    StitchPosition normal;
  };
  std::vector<Sample> _samples;
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
