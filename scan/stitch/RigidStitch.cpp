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

using Vec = StitchPosition;

// Neighbours up to this many steps away span a point's normal; those up
// to kKinkReach away must not turn sharply at it.
constexpr std::size_t kReach = 2;
constexpr std::size_t kKinkReach = 2;
// The plane through a point passes through the mean of it and its
// neighbours this many steps away. A mean over neighbours damps the noise of
// the paired point but lifts the plane off a curved surface; on coarse,
// curved scans the point itself (0) registers best.
constexpr std::size_t kCentreReach = 0;
// Pairs are looked for within the tolerance, but never farther than this
// many point spacings, which keeps a search local when the tolerance is
// far larger than the surfaces' detail.
constexpr double kSearchSpacings = 20.0;
// A step that moves no sample farther than this share of the search radius ends
// the fit.
constexpr double kConvergedShare = 1e-6;
// Directions of the fit constrained less than this share of the strongest
// are left alone.
constexpr double kWeakDirection = 1e-9;
// Cauchy weight scale, in robust standard deviations of the residuals
// (95 % efficiency for normal residuals).
constexpr double kCauchyScale = 2.3849;

Vec sub(const Vec& a, const Vec& b) noexcept {
  return Vec{a.x - b.x, a.y - b.y, a.z - b.z};
}
double dot(const Vec& a, const Vec& b) noexcept {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec cross(const Vec& a, const Vec& b) noexcept {
  return Vec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z,
             a.x * b.y - a.y * b.x};
}
double length(const Vec& a) noexcept { return std::sqrt(dot(a, a)); }
bool finite(const Vec& p) noexcept {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

double median(std::vector<double>& values) {
  if (values.empty()) return 0.0;
  auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

struct Box {
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
  bool meets(const Box& o, double margin) const noexcept {
    for (int a = 0; a < 3; ++a) {
      if (!(lo[a] - margin <= o.hi[a] && o.lo[a] <= hi[a] + margin)) {
        return false;
      }
    }
    return !empty() && !o.empty();
  }
};

// Index of the point of frame [first, last) nearest to p, walking on from
// `cursor` while the next point is no farther: along an ordered line the
// distance falls to the nearest point and rises after it, and the points
// asked for advance along the line too.
std::size_t walkToNearest(const Vec* first, std::size_t count, const Vec& p,
                          std::size_t cursor) noexcept {
  if (cursor >= count) cursor = count - 1;
  Vec d = sub(first[cursor], p);
  double best = dot(d, d);
  while (cursor + 1 < count) {
    d = sub(first[cursor + 1], p);
    const double next = dot(d, d);
    if (!(next <= best)) break;
    best = next;
    ++cursor;
  }
  return cursor;
}

// The path a -> p -> b turns by less than about 25 degrees at p (or one
// side is p itself).
bool straightThrough(const Vec& a, const Vec& p, const Vec& b) noexcept {
  const Vec in = sub(p, a), out = sub(b, p);
  const double lin = dot(in, in), lout = dot(out, out);
  if (lin == 0.0 || lout == 0.0) return true;
  const double d = dot(in, out);
  return d > 0.0 && d * d >= 0.82 * lin * lout;
}

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
  _MathMatrix<double> matrix() const noexcept {
    return _MathMatrix<double>(r[0][0], r[0][1], r[0][2], r[1][0], r[1][1],
                               r[1][2], r[2][0], r[2][1], r[2][2], t.x, t.y,
                               t.z);
  }
};

// A later surface's points around the moving one, with their normals.
struct RigidStitch::Cloud {
  std::vector<Vec> points;
  std::vector<Vec> normals;
  // The centre of the points around each point, through which its plane
  // passes: a paired point's own noise barely moves it, although the
  // pairing chose the point for being near.
  std::vector<Vec> centres;
  StitchPointIndex index;
  Box box;
  double radius = 0.0;   // pairs are looked for within this distance
  double spacing = 0.0;  // typical distance between neighbouring points
};

struct RigidStitch::Pass {
  std::size_t pairs = 0;
  double rms = 0.0;
  Vec centre;
  double reach = 0.0;  // largest distance of a paired sample from the centre
};

FramedPoints gatherPoints(_ScanSurface<double>& surface, const double lo[3],
                          const double hi[3], std::size_t reach) {
  FramedPoints out;
  const std::size_t frames = surface.getFrameCount();
  std::vector<const _ScanLine<double>*> lines(frames, nullptr);
  // Frames with a point in the box, and those up to `reach` from them.
  std::vector<char> wanted(frames, 0);
  for (std::size_t f = 0; f < frames; ++f) {
    const _ScanFrame<double>* frame = surface.getFrame(f);
    if (!frame->hasScanLine()) continue;
    lines[f] = frame->getScanLine();
    const std::size_t n = lines[f]->getPointCount();
    for (std::size_t j = 0; j < n; ++j) {
      const _GeoPoint<double>& p = lines[f]->getPoint(j)->position();
      if (p.x() >= lo[0] && p.x() <= hi[0] && p.y() >= lo[1] &&
          p.y() <= hi[1] && p.z() >= lo[2] && p.z() <= hi[2]) {
        const std::size_t first = f >= reach ? f - reach : 0;
        const std::size_t last = std::min(frames - 1, f + reach);
        for (std::size_t g = first; g <= last; ++g) wanted[g] = 1;
        break;
      }
    }
  }
  std::size_t total = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    if (wanted[f] && lines[f]) total += lines[f]->getPointCount();
  }
  out.points.reserve(total);
  out.start.reserve(frames + 1);
  out.start.push_back(0);
  for (std::size_t f = 0; f < frames; ++f) {
    const std::size_t n = wanted[f] && lines[f] ? lines[f]->getPointCount() : 0;
    for (std::size_t j = 0; j < n; ++j) {
      const _GeoPoint<double>& p = lines[f]->getPoint(j)->position();
      out.points.push_back(Vec{p.x(), p.y(), p.z()});
    }
    out.start.push_back(out.points.size());
  }
  return out;
}

Spacing measureSpacing(const FramedPoints& surface) {
  constexpr std::size_t kWanted = 4096;
  const std::size_t frames = surface.frameCount();
  const std::size_t total = surface.points.size();
  Spacing spacing;
  if (total < 2) return spacing;
  const std::size_t frameStep = std::max<std::size_t>(1, frames / 64);
  const std::size_t pointStep = std::max<std::size_t>(
      1, total / (kWanted * std::max<std::size_t>(1, frames / frameStep)));
  std::vector<double> along, across;
  for (std::size_t f = 0; f < frames; f += frameStep) {
    const Vec* line = surface.points.data() + surface.start[f];
    const std::size_t n = surface.start[f + 1] - surface.start[f];
    const bool hasNext =
        f + 1 < frames && surface.start[f + 2] > surface.start[f + 1];
    const Vec* next = surface.points.data() + surface.start[f + 1];
    const std::size_t nextCount =
        hasNext ? surface.start[f + 2] - surface.start[f + 1] : 0;
    std::size_t cursor = 0;
    for (std::size_t j = 0; j < n; j += pointStep) {
      if (!finite(line[j])) continue;
      if (j + 1 < n && finite(line[j + 1])) {
        const double d = length(sub(line[j + 1], line[j]));
        if (d > 0.0) along.push_back(d);
      }
      if (hasNext) {
        cursor = walkToNearest(next, nextCount, line[j], cursor);
        const double d = length(sub(next[cursor], line[j]));
        if (d > 0.0 && std::isfinite(d)) across.push_back(d);
      }
    }
  }
  spacing.alongLine = median(along);
  spacing.acrossFrames = median(across);
  return spacing;
}

bool framedNormal(const FramedPoints& surface, std::size_t frame,
                  std::size_t index, std::size_t reach, double stepLimit,
                  std::size_t* cursors, StitchPosition& normal,
                  StitchPosition& centre) {
  const Vec* line = surface.points.data() + surface.start[frame];
  const std::size_t n = surface.start[frame + 1] - surface.start[frame];
  const Vec& p = line[index];
  if (!finite(p)) return false;
  auto within = [&](const Vec& q, std::size_t k) {
    const Vec d = sub(q, p);
    const double limit = static_cast<double>(k) * stepLimit;
    return dot(d, d) <= limit * limit;
  };
  auto add = [](Vec& sum, const Vec& a, const Vec& b, std::size_t k) {
    const double w = static_cast<double>(k);
    sum = Vec{sum.x + w * (b.x - a.x), sum.y + w * (b.y - a.y),
              sum.z + w * (b.z - a.z)};
  };

  // Along the line: sum of k (p[j + k] - p[j - k]), the least-squares
  // direction of the points around p, as far as both sides go on.
  Vec u;
  Vec sum = p;
  double summed = 1.0;
  auto keep = [&](const Vec& a, const Vec& b) {
    sum = Vec{sum.x + a.x + b.x, sum.y + a.y + b.y, sum.z + a.z + b.z};
    summed += 2.0;
  };
  bool alongLine = false;
  for (std::size_t k = 1; k <= reach && k <= index && index + k < n; ++k) {
    const Vec& a = line[index - k];
    const Vec& b = line[index + k];
    if (!within(a, k) || !within(b, k)) break;
    add(u, a, b, k);
    alongLine = true;
    // Where the surface kinks (an edge, a spike), the point has no plane
    // of its own.
    if (k <= kKinkReach && !straightThrough(a, p, b)) return false;
    if (k <= kCentreReach) keep(a, b);
  }
  if (!alongLine) {
    if (index + 1 < n && within(line[index + 1], 1)) {
      u = sub(line[index + 1], p);
    } else if (index > 0 && within(line[index - 1], 1)) {
      u = sub(p, line[index - 1]);
    } else {
      return false;
    }
  }

  // Across the frames, with the nearest points of the frames k before and
  // after (cursor 2 (k - 1) and 2 (k - 1) + 1 walk along them).
  const std::size_t frames = surface.frameCount();
  auto nearestOn = [&](std::size_t g, std::size_t slot, Vec& q) {
    const std::size_t count = surface.start[g + 1] - surface.start[g];
    if (count == 0) return false;
    const Vec* other = surface.points.data() + surface.start[g];
    cursors[slot] = walkToNearest(other, count, p, cursors[slot]);
    q = other[cursors[slot]];
    return true;
  };
  Vec v;
  bool acrossFrames = false;
  for (std::size_t k = 1; k <= reach && k <= frame && frame + k < frames; ++k) {
    Vec a, b;
    if (!nearestOn(frame - k, 2 * (k - 1), a) ||
        !nearestOn(frame + k, 2 * (k - 1) + 1, b) || !within(a, k) ||
        !within(b, k)) {
      break;
    }
    add(v, a, b, k);
    acrossFrames = true;
    if (k <= kKinkReach && !straightThrough(a, p, b)) return false;
    if (k <= kCentreReach) keep(a, b);
  }
  if (!acrossFrames) {
    Vec q;
    if (frame + 1 < frames && nearestOn(frame + 1, 1, q) && within(q, 1)) {
      v = sub(q, p);
    } else if (frame > 0 && nearestOn(frame - 1, 0, q) && within(q, 1)) {
      v = sub(p, q);
    } else {
      return false;
    }
  }

  const Vec c = cross(u, v);
  const double lc = length(c);
  // Directions nearly in one line span no plane.
  if (!(lc > 0.05 * length(u) * length(v)) || !std::isfinite(lc)) return false;
  normal = Vec{c.x / lc, c.y / lc, c.z / lc};
  centre = Vec{sum.x / summed, sum.y / summed, sum.z / summed};
  return true;
}

bool solveSymmetric6(const double h[6][6], const double b[6],
                     double relativeFloor, double x[6]) {
  // Cyclic Jacobi: a = V^T H V becomes diagonal.
  double a[6][6], v[6][6];
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) {
      a[i][j] = h[i][j];
      v[i][j] = i == j ? 1.0 : 0.0;
    }
  }
  for (int sweep = 0; sweep < 64; ++sweep) {
    double off = 0.0, diagonal = 0.0;
    for (int i = 0; i < 6; ++i) {
      diagonal += a[i][i] * a[i][i];
      for (int j = i + 1; j < 6; ++j) off += a[i][j] * a[i][j];
    }
    if (!(off > 1e-32 * diagonal)) break;
    for (int p = 0; p < 6; ++p) {
      for (int q = p + 1; q < 6; ++q) {
        if (a[p][q] == 0.0) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                         (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < 6; ++k) {
          const double kp = a[k][p], kq = a[k][q];
          a[k][p] = c * kp - s * kq;
          a[k][q] = s * kp + c * kq;
        }
        for (int k = 0; k < 6; ++k) {
          const double pk = a[p][k], qk = a[q][k];
          a[p][k] = c * pk - s * qk;
          a[q][k] = s * pk + c * qk;
        }
        for (int k = 0; k < 6; ++k) {
          const double kp = v[k][p], kq = v[k][q];
          v[k][p] = c * kp - s * kq;
          v[k][q] = s * kp + c * kq;
        }
      }
    }
  }
  double largest = 0.0;
  for (int i = 0; i < 6; ++i) largest = std::max(largest, a[i][i]);
  for (int i = 0; i < 6; ++i) x[i] = 0.0;
  if (!(largest > 0.0) || !std::isfinite(largest)) return false;
  for (int e = 0; e < 6; ++e) {
    const double lambda = a[e][e];
    if (!(lambda >= relativeFloor * largest)) continue;
    double along = 0.0;
    for (int i = 0; i < 6; ++i) along += v[i][e] * b[i];
    for (int i = 0; i < 6; ++i) x[i] += along / lambda * v[i][e];
  }
  return true;
}

RigidStitch::RigidStitch(double tolerance, int iterations)
    : _tolerance(tolerance), _iterations(iterations) {}

RigidStitch::~RigidStitch() = default;

void RigidStitch::run(const std::vector<SurfaceEntry*>& entries,
                      std::vector<Report>& reports,
                      const std::function<void(int)>& progress) {
  const std::size_t moving = entries.size() - 1;
  const double total = static_cast<double>(moving) * _iterations;
  double done = 0.0;
  for (std::size_t m = moving; m-- > 0;) {
    const double quotaEnd = done + _iterations;
    std::vector<SurfaceEntry*> later(
        entries.begin() + static_cast<std::ptrdiff_t>(m) + 1, entries.end());
    registerSurface(*entries[m], later, reports[m], [&](int) {
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
  for (const Vec& s : _samples) {
    const Vec p = pose.apply(s);
    double best = std::numeric_limits<double>::infinity();
    Vec q, normal;
    for (const std::unique_ptr<Cloud>& cloud : _clouds) {
      const StitchNearest found = cloud->index.nearest(p);
      if (!found.found()) continue;
      const double d = length(sub(p, found.position));
      if (d <= cloud->radius && d < best) {
        best = d;
        q = cloud->centres[static_cast<std::size_t>(found.ordinal)];
        normal = cloud->normals[static_cast<std::size_t>(found.ordinal)];
      }
    }
    if (!(best <= _tolerance)) continue;
    const double r = dot(sub(p, q), normal);
    _pairs.push_back(Pair{p, normal, r});
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

void RigidStitch::registerSurface(SurfaceEntry& movingEntry,
                                  const std::vector<SurfaceEntry*>& later,
                                  Report& report,
                                  const std::function<void(int)>& tick) {
  report = Report();
  _clouds.clear();
  _samples.clear();
  Box movingBox;
  for (int a = 0; a < 3; ++a) {
    movingBox.lo[a] = movingEntry.boxMin[a];
    movingBox.hi[a] = movingEntry.boxMax[a];
  }
  if (movingBox.empty()) return;

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
    const FramedPoints reference =
        gatherPoints(*entry->surface, lo, hi, kReach);
    const Spacing spacing = measureSpacing(reference);
    const double h = std::max(spacing.alongLine, spacing.acrossFrames);
    auto cloud = std::make_unique<Cloud>();
    cloud->spacing = h;
    cloud->radius =
        h > 0.0 ? std::min(_tolerance, kSearchSpacings * h) : _tolerance;
    const double stepLimit = h > 0.0 ? 3.0 * h : _tolerance;
    cloud->points.reserve(reference.points.size());
    cloud->normals.reserve(reference.points.size());
    cloud->centres.reserve(reference.points.size());
    std::size_t cursors[2 * kReach];
    for (std::size_t f = 0; f < reference.frameCount(); ++f) {
      std::fill(cursors, cursors + 2 * kReach, std::size_t{0});
      const std::size_t first = reference.start[f];
      for (std::size_t j = 0; first + j < reference.start[f + 1]; ++j) {
        const Vec& p = reference.points[first + j];
        if (!movingBox.holds(p, margin)) continue;
        Vec normal, centre;
        if (!framedNormal(reference, f, j, kReach, stepLimit, cursors, normal,
                          centre)) {
          continue;
        }
        cloud->points.push_back(p);
        cloud->normals.push_back(normal);
        cloud->centres.push_back(centre);
        cloud->box.add(p);
      }
    }
    if (cloud->points.empty()) continue;
    cloud->index.build(cloud->points.data(), cloud->points.size(),
                       cloud->radius);
    _clouds.push_back(std::move(cloud));
  }
  if (_clouds.empty()) return;  // overlaps nothing later: a reference

  // A fixed sample, evenly spread over frames and lines, of the moving
  // surface's points near the clouds.
  auto nearClouds = [this](const _GeoPoint<double>& position) {
    const Vec p{position.x(), position.y(), position.z()};
    if (!finite(p)) return false;
    for (const std::unique_ptr<Cloud>& cloud : _clouds) {
      if (cloud->box.holds(p, _tolerance)) return true;
    }
    return false;
  };
  _ScanSurface<double>& surface = *movingEntry.surface;
  const std::size_t frames = surface.getFrameCount();
  std::vector<const _ScanLine<double>*> lines(frames, nullptr);
  std::size_t candidates = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    const _ScanFrame<double>* frame = surface.getFrame(f);
    if (!frame->hasScanLine()) continue;
    lines[f] = frame->getScanLine();
    for (std::size_t j = 0; j < lines[f]->getPointCount(); ++j) {
      if (nearClouds(lines[f]->getPoint(j)->position())) ++candidates;
    }
  }
  const std::size_t stride = std::max<std::size_t>(
      1, static_cast<std::size_t>(std::sqrt(static_cast<double>(candidates) /
                                            static_cast<double>(kSamples))));
  for (std::size_t f = 0; f < frames; f += stride) {
    if (!lines[f]) continue;
    for (std::size_t j = 0; j < lines[f]->getPointCount(); j += stride) {
      const _GeoPoint<double>& p = lines[f]->getPoint(j)->position();
      if (nearClouds(p)) _samples.push_back(Vec{p.x(), p.y(), p.z()});
    }
  }

  double searchRadius = 0.0;
  for (const std::unique_ptr<Cloud>& cloud : _clouds) {
    searchRadius = std::max(searchRadius, cloud->radius);
  }
  Pose pose;
  Pass pass = pairSamples(pose);
  report.pairsBefore = static_cast<std::int32_t>(pass.pairs);
  report.rmsBefore = pass.rms;
  report.rmsPerIteration.push_back(pass.rms);
  if (pass.pairs < kMinPairs) {
    report.status = ScanStitchTool::RIGID_TOO_FEW_PAIRS;
    report.pairsAfter = report.pairsBefore;
    report.rmsAfter = report.rmsBefore;
    return;
  }

  bool narrowed = false;
  for (int k = 0; k < _iterations; ++k) {
    // Cauchy weights on a robust scale of the residuals.
    _scratch.clear();
    for (const Pair& pair : _pairs)
      _scratch.push_back(std::fabs(pair.residual));
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
    if (!solveSymmetric6(h, g, kWeakDirection, x)) break;
    const Vec omega{x[0] / spread, x[1] / spread, x[2] / spread};
    const Vec shift{x[3], x[4], x[5]};
    pose.compose(omega, pass.centre, shift);
    ++report.iterations;
    tick(k);
    const double step = length(shift) + length(omega) * pass.reach;
    // Once the surfaces lie close, pairs are looked for nearer: the
    // residuals are small, and the nearest point lies within a few spacings.
    if (!narrowed && step < 0.5 * pass.rms + 1e-300) {
      narrowed = true;
      for (const std::unique_ptr<Cloud>& cloud : _clouds) {
        const double radius = std::max(8.0 * pass.rms, 4.0 * cloud->spacing);
        if (!(radius < 0.5 * cloud->radius)) continue;
        cloud->radius = radius;
        cloud->index.build(cloud->points.data(), cloud->points.size(), radius);
      }
    }
    pass = pairSamples(pose);
    report.rmsPerIteration.push_back(pass.rms);
    if (pass.pairs < kMinPairs) break;
    if (step <= kConvergedShare * searchRadius) {
      report.converged = true;
      break;
    }
  }

  report.pairsAfter = static_cast<std::int32_t>(pass.pairs);
  report.rmsAfter = pass.rms;
  const _MathMatrix<double> m = pose.matrix();
  // Samples were paired within the search radius: a fit that carries one
  // much farther is not trusted.
  double farthest = 0.0;
  for (const Vec& sample : _samples) {
    farthest = std::max(farthest, length(sub(pose.apply(sample), sample)));
  }
  const bool worse =
      !(farthest <= 2.0 * searchRadius) || pass.pairs < kMinPairs ||
      (pass.rms > report.rmsBefore &&
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

}  // namespace stitch_detail
}  // namespace QUAX
