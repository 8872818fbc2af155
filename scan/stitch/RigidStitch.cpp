// SPDX-License-Identifier: MIT
#include "scan/stitch/RigidStitch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "scan/model/ScanFrame.h"

namespace QUAX {
namespace stitch_detail {

namespace {

// A paired point's patch spans this many neighbours either way along its
// line and this many frames either way: wide enough that the noise of
// single points averages out of its height and slope.
constexpr std::size_t kPatchReach = 3;
// Points whose neighbours spread off their plane by more than this share
// of their smaller spread in it (an edge, a step, a kink) get no patch.
constexpr double kFlatness = 0.05;
// A sample is paired with a patch only where it lies over the patch, within
// this many point spacings of its centre along it.
constexpr double kBesideSpacings = 1.0;

// Pairs are looked for within the tolerance, but never farther than this
// many point spacings, which keeps a search local when the tolerance is
// far larger than the surfaces' detail.
constexpr double kSearchSpacings = 20.0;
// A step that moves no sample farther than this share of the search radius,
// or than this share of the pairs' RMS distance, ends the fit: later steps
// could not change the result by more than a small part of the noise.
constexpr double kConvergedShare = 1e-6;
constexpr double kConvergedRmsShare = 0.05;
// Once the surfaces lie close, pairs are looked for within this many point
// spacings (or eight times the pairs' RMS distance, if farther): the
// nearest point of a sample then lies within a spacing or so.
constexpr double kCloseSpacings = 2.0;
// A fit that pairs no more samples than its start is kept while their RMS
// distance rose by no more than this factor: a surface started where it
// belongs (by its initial transform, or already stitched) ends within the
// noise of it, a little above or below.
constexpr double kKeptRmsRise = 1.01;
// Directions of the fit constrained less than this share of the strongest
// are left alone.
constexpr double kWeakDirection = 1e-9;
// Cauchy weight scale, in robust standard deviations of the residuals
// (95 % efficiency for normal residuals).
constexpr double kCauchyScale = 2.3849;

}  // namespace

struct RigidStitch::Box {
  double lo[3] = {std::numeric_limits<double>::infinity(),
                  std::numeric_limits<double>::infinity(),
                  std::numeric_limits<double>::infinity()};
  double hi[3] = {-std::numeric_limits<double>::infinity(),
                  -std::numeric_limits<double>::infinity(),
                  -std::numeric_limits<double>::infinity()};
  void add(const Vec& p) noexcept {
    const double c[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], c[a]);
      hi[a] = std::max(hi[a], c[a]);
    }
  }
  bool empty() const noexcept { return !(lo[0] <= hi[0]); }
  // p lies in the box widened by `margin` on every side.
  bool holds(const Vec& p, double margin) const noexcept {
    return p.x >= lo[0] - margin && p.x <= hi[0] + margin &&
           p.y >= lo[1] - margin && p.y <= hi[1] + margin &&
           p.z >= lo[2] - margin && p.z <= hi[2] + margin;
  }
  // The box of this box's corners moved by `m`.
  Box moved(const _MathMatrix<double>& m) const {
    Box out;
    if (empty()) return out;
    for (int corner = 0; corner < 8; ++corner) {
      const _MathVector<double> c = m.applyToPosition(_MathVector<double>(
          (corner & 1) ? hi[0] : lo[0], (corner & 2) ? hi[1] : lo[1],
          (corner & 4) ? hi[2] : lo[2]));
      out.add(Vec{c.x(), c.y(), c.z()});
    }
    return out;
  }
  bool meets(const Box& o, double margin) const noexcept {
    for (int a = 0; a < 3; ++a) {
      if (!(lo[a] - margin <= o.hi[a] && o.lo[a] <= hi[a] + margin)) {
        return false;
      }
    }
    return !empty() && !o.empty();
  }
};

namespace {

// The rigid pose p' = R.p + t, R kept as a unit quaternion.
struct Quaternion {
  double w = 1.0, x = 0.0, y = 0.0, z = 0.0;
};

Quaternion multiply(const Quaternion& a, const Quaternion& b) noexcept {
  return Quaternion{a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
                    a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                    a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
                    a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

}  // namespace

struct RigidStitch::Pose {
  Quaternion q;
  Vec t;
  double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

  Vec apply(const Vec& p) const noexcept {
    return Vec{r[0][0] * p.x + r[0][1] * p.y + r[0][2] * p.z + t.x,
               r[1][0] * p.x + r[1][1] * p.y + r[1][2] * p.z + t.y,
               r[2][0] * p.x + r[2][1] * p.y + r[2][2] * p.z + t.z};
  }
  Vec rotate(const Vec& p) const noexcept {
    return Vec{r[0][0] * p.x + r[0][1] * p.y + r[0][2] * p.z,
               r[1][0] * p.x + r[1][1] * p.y + r[1][2] * p.z,
               r[2][0] * p.x + r[2][1] * p.y + r[2][2] * p.z};
  }
  // The rotation matrix of q, computed in long double so that the rounded
  // matrix is a proper rotation to a few ulps (the container's transform
  // tests its determinant).
  void refresh() noexcept {
    const long double n = std::sqrt(static_cast<long double>(q.w) * q.w +
                                    static_cast<long double>(q.x) * q.x +
                                    static_cast<long double>(q.y) * q.y +
                                    static_cast<long double>(q.z) * q.z);
    const long double w = q.w / n, x = q.x / n, y = q.y / n, z = q.z / n;
    q = Quaternion{static_cast<double>(w), static_cast<double>(x),
                   static_cast<double>(y), static_cast<double>(z)};
    const long double m[3][3] = {
        {1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
        {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
        {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r[i][j] = static_cast<double>(m[i][j]);
    }
  }
  // Turns by the rotation vector `omega` about `centre`, then shifts by
  // `shift`.
  void compose(const Vec& omega, const Vec& centre, const Vec& shift) noexcept {
    const double angle = length(omega);
    Quaternion d;
    if (angle > 0.0) {
      const double s = std::sin(angle / 2.0) / angle;
      d = Quaternion{std::cos(angle / 2.0), omega.x * s, omega.y * s,
                     omega.z * s};
    }
    q = multiply(d, q);
    Pose turn;
    turn.q = d;
    turn.refresh();
    const Vec moved = turn.rotate(sub(t, centre));
    t = Vec{moved.x + centre.x + shift.x, moved.y + centre.y + shift.y,
            moved.z + centre.z + shift.z};
    refresh();
  }
  // The pose of a rigid transform, its rotation taken to the nearest unit
  // quaternion (a rotation read from text, rounded, is not quite one).
  static Pose of(const _MathMatrix<double>& m) noexcept {
    const auto r = [&m](int i, int j) { return m.rotation(i, j); };
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    Quaternion q;
    if (trace > 0.0) {
      const double s = 2.0 * std::sqrt(1.0 + trace);
      q = Quaternion{0.25 * s, (r(2, 1) - r(1, 2)) / s,
                     (r(0, 2) - r(2, 0)) / s, (r(1, 0) - r(0, 1)) / s};
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
      const double s = 2.0 * std::sqrt(1.0 + r(0, 0) - r(1, 1) - r(2, 2));
      q = Quaternion{(r(2, 1) - r(1, 2)) / s, 0.25 * s,
                     (r(0, 1) + r(1, 0)) / s, (r(0, 2) + r(2, 0)) / s};
    } else if (r(1, 1) > r(2, 2)) {
      const double s = 2.0 * std::sqrt(1.0 + r(1, 1) - r(0, 0) - r(2, 2));
      q = Quaternion{(r(0, 2) - r(2, 0)) / s, (r(0, 1) + r(1, 0)) / s,
                     0.25 * s, (r(1, 2) + r(2, 1)) / s};
    } else {
      const double s = 2.0 * std::sqrt(1.0 + r(2, 2) - r(0, 0) - r(1, 1));
      q = Quaternion{(r(1, 0) - r(0, 1)) / s, (r(0, 2) + r(2, 0)) / s,
                     (r(1, 2) + r(2, 1)) / s, 0.25 * s};
    }
    Pose pose;
    pose.q = q;
    const _MathVector<double>& t = m.getTranslation();
    pose.t = Vec{t.x(), t.y(), t.z()};
    pose.refresh();
    return pose;
  }
  _MathMatrix<double> matrix() const noexcept {
    return _MathMatrix<double>(r[0][0], r[0][1], r[0][2], r[1][0], r[1][1],
                               r[1][2], r[2][0], r[2][1], r[2][2], t.x, t.y,
                               t.z);
  }
};

// A later surface's points around the moving one; the patch through a
// point is fitted when the point is first paired, so only the points the
// fit meets pay for it.
struct RigidStitch::Cloud {
  // The later surface's frames around the moving one. The index holds all
  // their points, not only those in the moving box widened by twice the
  // tolerance: that saves a copy of the largest array, and a point outside
  // the widened box lies farther than the search radius from every sample
  // in the moving box.
  FramedPoints grid;
  // slot[i]: 0 not fitted yet, kNoPatch where grid point i has none, else 1
  // + the index of its patch in patches.
  std::vector<std::uint32_t> slot;
  std::vector<FramedPatch> patches;
  StitchPointIndex index;
  Box box;
  double radius = 0.0;        // pairs are looked for within this distance
  double spacing = 0.0;       // typical distance between neighbouring points
  double stepLimit = 0.0;     // larger steps along a line or across are gaps
  double besideLimit2 = 0.0;  // squared distance along a patch it covers

  static constexpr std::uint32_t kNoPatch = ~std::uint32_t{0};
  const FramedPatch* patch(std::size_t i) {
    if (slot[i] == 0) {
      // The frame holding grid point i: the last that starts at or before it.
      const std::size_t frame = static_cast<std::size_t>(
          std::upper_bound(grid.start.begin(), grid.start.end(), i) -
          grid.start.begin() - 1);
      FramedPatch fitted;
      if (fitFramedPatch(grid, frame, i - grid.start[frame], kPatchReach,
                         stepLimit, kFlatness, fitted)) {
        patches.push_back(fitted);
        slot[i] = static_cast<std::uint32_t>(patches.size());
      } else {
        slot[i] = kNoPatch;
      }
    }
    return slot[i] == kNoPatch ? nullptr : &patches[slot[i] - 1];
  }
};

struct RigidStitch::Pass {
  std::size_t pairs = 0;
  double rms = 0.0;
  Vec centre;
  double reach = 0.0;  // largest distance of a paired sample from the centre
};

RigidStitch::RigidStitch(double tolerance, int iterations)
    : _tolerance(tolerance), _iterations(iterations) {}

RigidStitch::~RigidStitch() = default;

void RigidStitch::run(const std::vector<SurfaceEntry*>& entries,
                      const std::vector<_MathMatrix<double>>& initial,
                      std::vector<Report>& reports,
                      const std::function<void(int)>& progress) {
  const std::size_t moving = entries.size() - 1;
  const double total = static_cast<double>(moving) * _iterations;
  double done = 0.0;
  for (std::size_t m = moving; m-- > 0;) {
    const double quotaEnd = done + _iterations;
    std::vector<SurfaceEntry*> later(
        entries.begin() + static_cast<std::ptrdiff_t>(m) + 1, entries.end());
    registerSurface(*entries[m], initial[m], later, reports[m], [&](int) {
      done += 1.0;
      progress(static_cast<int>(100.0 * done / total));
    });
    if (done < quotaEnd) {
      done = quotaEnd;
      progress(static_cast<int>(100.0 * done / total));
    }
  }
}

RigidStitch::Pass RigidStitch::pairSamples(const Pose& pose) {
  Pass pass;
  _pairs.clear();
  double sum2 = 0.0;
  Vec sum;
  for (const Sample& s : _samples) {
    const Vec p = pose.apply(s.point);
    double best = std::numeric_limits<double>::infinity();
    Vec q, normal;
    for (const std::unique_ptr<Cloud>& cloud : _clouds) {
      const StitchNearest found = cloud->index.nearest(p);
      if (!found.found()) continue;
      const double d = length(sub(p, found.position));
      if (!(d <= cloud->radius && d < best)) continue;
      const FramedPatch* patch =
          cloud->patch(static_cast<std::size_t>(found.ordinal));
      if (patch == nullptr) continue;
      // A sample beside the patch rather than over it (past the edge of
      // the later surface, or across a gap) would be paired with the
      // patch's plane carried out to it, whose slope error grows with the
      // distance and pulls all such samples the same way.
      const Vec offset = sub(p, patch->origin);
      const double across = dot(offset, patch->axis[0]);
      if (dot(offset, offset) - across * across > cloud->besideLimit2) continue;
      best = d;
      // The target is the patch's point under the sample itself: a target
      // beside it would carry the patch's slope error into the residual,
      // the same way for every sample where the frames of the two surfaces
      // lie the same distance apart.
      patch->at(p, q, normal);
    }
    if (!(best <= _tolerance)) continue;
    const double r = dot(sub(p, q), normal);
    // The fit's directions come from the sample's own normal where it has
    // one: its noise is independent of the target patch's, whose slope
    // error would otherwise enter both the residual and its direction and
    // bias the fit by the square of the noise.
    const Vec own = pose.rotate(s.normal);
    _pairs.push_back(
        Pair{p,
             dot(own, own) > 0.0
                 ? (dot(own, normal) < 0.0 ? Vec{-own.x, -own.y, -own.z} : own)
                 : normal,
             r});
    sum2 += r * r;
    sum = Vec{sum.x + p.x, sum.y + p.y, sum.z + p.z};
  }
  pass.pairs = _pairs.size();
  if (pass.pairs == 0) return pass;
  const double n = static_cast<double>(pass.pairs);
  pass.rms = std::sqrt(sum2 / n);
  pass.centre = Vec{sum.x / n, sum.y / n, sum.z / n};
  for (Pair& pair : _pairs) {
    pair.offset = sub(pair.offset, pass.centre);
    pass.reach = std::max(pass.reach, length(pair.offset));
  }
  return pass;
}

bool RigidStitch::gatherClouds(const Box& movingBox,
                               const std::vector<SurfaceEntry*>& later) {
  // The later surfaces' points around the moving one, with normals, in the
  // moving box widened by twice the tolerance so that the moving surface
  // stays inside while it moves.
  const double margin = 2.0 * _tolerance;
  const double lo[3] = {movingBox.lo[0] - margin, movingBox.lo[1] - margin,
                        movingBox.lo[2] - margin};
  const double hi[3] = {movingBox.hi[0] + margin, movingBox.hi[1] + margin,
                        movingBox.hi[2] + margin};
  for (SurfaceEntry* entry : later) {
    Box laterBox;
    for (int a = 0; a < 3; ++a) {
      laterBox.lo[a] = entry->boxMin[a];
      laterBox.hi[a] = entry->boxMax[a];
    }
    if (!laterBox.meets(movingBox, _tolerance)) continue;
    auto cloud = std::make_unique<Cloud>();
    cloud->grid = gatherPoints(*entry->surface, lo, hi, kPatchReach);
    const FramedPoints& grid = cloud->grid;
    const Spacing spacing = measureSpacing(grid);
    const double h = std::max(spacing.alongLine, spacing.acrossFrames);
    cloud->spacing = h;
    cloud->radius =
        h > 0.0 ? std::min(_tolerance, kSearchSpacings * h) : _tolerance;
    cloud->stepLimit = h > 0.0 ? 3.0 * h : _tolerance;
    const double beside = h > 0.0 ? kBesideSpacings * h : _tolerance;
    cloud->besideLimit2 = beside * beside;
    std::size_t inBox = 0;
    for (const Vec& p : grid.points) {
      if (!finite(p) || !movingBox.holds(p, margin)) continue;
      cloud->box.add(p);
      ++inBox;
    }
    if (inBox == 0) continue;
    cloud->slot.assign(grid.points.size(), 0);
    cloud->index.build(grid.points.data(), grid.points.size(), cloud->radius);
    _clouds.push_back(std::move(cloud));
  }
  return !_clouds.empty();
}

void RigidStitch::gatherSamples(SurfaceEntry& movingEntry, const Pose& start) {
  // A fixed sample, evenly spread over frames and lines, of the moving
  // surface's points near the clouds. Each sample is its point's patch
  // centre where the point has one: the moving surface is an ordered grid
  // too, and its noise averages out as the reference's does.
  Box near;
  for (const std::unique_ptr<Cloud>& cloud : _clouds) {
    near.add(Vec{cloud->box.lo[0] - _tolerance, cloud->box.lo[1] - _tolerance,
                 cloud->box.lo[2] - _tolerance});
    near.add(Vec{cloud->box.hi[0] + _tolerance, cloud->box.hi[1] + _tolerance,
                 cloud->box.hi[2] + _tolerance});
  }
  const Box nearOwn = near.moved(start.matrix().inverse());
  const FramedPoints grid =
      gatherPoints(*movingEntry.surface, nearOwn.lo, nearOwn.hi, kPatchReach);
  auto nearClouds = [this, &start](const Vec& own) {
    if (!finite(own)) return false;
    const Vec p = start.apply(own);
    for (const std::unique_ptr<Cloud>& cloud : _clouds) {
      if (cloud->box.holds(p, _tolerance)) return true;
    }
    return false;
  };
  std::size_t candidates = 0;
  for (const Vec& p : grid.points) {
    if (nearClouds(p)) ++candidates;
  }
  const Spacing movingSpacing = measureSpacing(grid);
  const double movingStep =
      std::max(movingSpacing.alongLine, movingSpacing.acrossFrames);
  const double stepLimit = movingStep > 0.0 ? 3.0 * movingStep : _tolerance;
  const std::size_t stride = std::max<std::size_t>(
      1, static_cast<std::size_t>(std::sqrt(static_cast<double>(candidates) /
                                            static_cast<double>(kSamples))));
  for (std::size_t f = 0; f < grid.frameCount(); f += stride) {
    const std::size_t count = grid.start[f + 1] - grid.start[f];
    for (std::size_t j = 0; j < count; j += stride) {
      const Vec& p = grid.points[grid.start[f] + j];
      if (!nearClouds(p)) continue;
      FramedPatch patch;
      const bool smooth =
          fitFramedPatch(grid, f, j, kPatchReach, stepLimit, kFlatness, patch);
      Sample sample{p, Vec{}};
      if (smooth) patch.at(p, sample.point, sample.normal);
      _samples.push_back(sample);
    }
  }
}

bool RigidStitch::solveStep(const Pass& pass, Vec& omega, Vec& shift) {
  // Cauchy weights on a robust scale of the residuals.
  _scratch.clear();
  for (const Pair& pair : _pairs) _scratch.push_back(std::fabs(pair.residual));
  const double sigma = std::max(1.4826 * median(_scratch),
                                1e-12 * std::max(_tolerance, 1e-300));
  const double scale2 = (kCauchyScale * sigma) * (kCauchyScale * sigma);
  // Rotation columns in units of the samples' spread, so that the six
  // directions compare.
  const double spread = std::max(pass.reach, 1e-300);
  double h[6][6] = {}, g[6] = {};
  for (const Pair& pair : _pairs) {
    const Vec turn = cross(pair.offset, pair.normal);
    const double j[6] = {turn.x / spread, turn.y / spread, turn.z / spread,
                         pair.normal.x,   pair.normal.y,   pair.normal.z};
    const double w = 1.0 / (1.0 + pair.residual * pair.residual / scale2);
    for (int r = 0; r < 6; ++r) {
      g[r] -= w * j[r] * pair.residual;
      for (int c = r; c < 6; ++c) h[r][c] += w * j[r] * j[c];
    }
  }
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < r; ++c) h[r][c] = h[c][r];
  }
  double x[6];
  if (!solveSymmetric6(h, g, kWeakDirection, x)) return false;
  omega = Vec{x[0] / spread, x[1] / spread, x[2] / spread};
  shift = Vec{x[3], x[4], x[5]};
  return true;
}

bool RigidStitch::narrowSearch(double rms) {
  // Once the surfaces lie close, pairs are looked for nearer: the residuals
  // are small, and the nearest point lies within a few spacings.
  bool narrowed = false;
  for (const std::unique_ptr<Cloud>& cloud : _clouds) {
    const double radius = std::max(8.0 * rms, kCloseSpacings * cloud->spacing);
    if (!(radius < 0.5 * cloud->radius)) continue;
    cloud->radius = radius;
    cloud->index.build(cloud->grid.points.data(), cloud->grid.points.size(),
                       radius);
    narrowed = true;
  }
  return narrowed;
}

void RigidStitch::settle(SurfaceEntry& movingEntry, const Pose& start,
                         const Pose& pose, const Pass& pass, double reach,
                         Report& report) {
  report.pairsAfter = static_cast<std::int32_t>(pass.pairs);
  report.rmsAfter = pass.rms;
  const _MathMatrix<double> m = pose.matrix();
  // A fit that carries a sample farther than the overlap it was fitted on
  // is wide (twice the search radius more) has left that overlap: it is not
  // trusted. Turns of a few degrees over a wide overlap move its far points
  // by several times the tolerance, which is why the bound is the overlap's.
  double farthest = 0.0;
  for (const Sample& sample : _samples) {
    farthest = std::max(
        farthest, length(sub(pose.apply(sample.point), start.apply(sample.point))));
  }
  const bool worse =
      !(farthest <= reach) || pass.pairs < kMinPairs ||
      (pass.rms > kKeptRmsRise * report.rmsBefore &&
       pass.pairs <= static_cast<std::size_t>(report.pairsBefore));
  if (worse || !m.isValid()) {
    // Not moved: the figures after are those before.
    report.status = ScanStitchTool::RIGID_NOT_IMPROVED;
    report.pairsAfter = report.pairsBefore;
    report.rmsAfter = report.rmsBefore;
    return;
  }
  movingEntry.surface->transform(m);
  report.transform = m;
  report.status = ScanStitchTool::RIGID_REGISTERED;
  // The box of the moved points, as the entry keeps it for later stitches.
  const std::unique_ptr<SurfaceEntry> moved =
      makeSurfaceEntry(*movingEntry.surface, movingEntry.flag);
  for (int a = 0; a < 3; ++a) {
    movingEntry.boxMin[a] = moved->boxMin[a];
    movingEntry.boxMax[a] = moved->boxMax[a];
  }
  movingEntry.flag = true;
}

void RigidStitch::registerSurface(SurfaceEntry& movingEntry,
                                  const _MathMatrix<double>& initial,
                                  const std::vector<SurfaceEntry*>& later,
                                  Report& report,
                                  const std::function<void(int)>& tick) {
  report = Report();
  _clouds.clear();
  _samples.clear();
  Box ownBox;
  for (int a = 0; a < 3; ++a) {
    ownBox.lo[a] = movingEntry.boxMin[a];
    ownBox.hi[a] = movingEntry.boxMax[a];
  }
  if (ownBox.empty()) return;
  // The fit starts at the initial pose: the box there, and the way back to
  // the surface's own coordinates.
  const Pose start = Pose::of(initial);
  // A surface that overlaps nothing later is a reference.
  if (!gatherClouds(ownBox.moved(start.matrix()), later)) return;
  gatherSamples(movingEntry, start);

  double searchRadius = _clouds.front()->radius;
  for (const std::unique_ptr<Cloud>& cloud : _clouds) {
    searchRadius = std::max(searchRadius, cloud->radius);
  }
  Pose pose = start;
  Pass pass = pairSamples(pose);
  report.pairsBefore = static_cast<std::int32_t>(pass.pairs);
  report.rmsBefore = pass.rms;
  report.rmsPerIteration.push_back(pass.rms);
  const double startReach = pass.reach;
  if (pass.pairs < kMinPairs) {
    report.status = ScanStitchTool::RIGID_TOO_FEW_PAIRS;
    report.pairsAfter = report.pairsBefore;
    report.rmsAfter = report.rmsBefore;
    return;
  }
  for (int k = 0; k < _iterations; ++k) {
    Vec omega, shift;
    if (!solveStep(pass, omega, shift)) break;
    pose.compose(omega, pass.centre, shift);
    ++report.iterations;
    tick(k);
    const double step = length(shift) + length(omega) * pass.reach;
    pass = pairSamples(pose);
    if (narrowSearch(pass.rms)) pass = pairSamples(pose);
    report.rmsPerIteration.push_back(pass.rms);
    if (pass.pairs < kMinPairs) break;
    if (step <= std::max(kConvergedShare * searchRadius,
                         kConvergedRmsShare * pass.rms)) {
      report.converged = true;
      break;
    }
  }
  settle(movingEntry, start, pose, pass, startReach + 2.0 * searchRadius,
         report);
}

}  // namespace stitch_detail
}  // namespace QUAX
