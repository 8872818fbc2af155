// SPDX-License-Identifier: MIT
#include "scan/stitch/FramedSurface.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scan/model/ScanFrame.h"

namespace QUAX {
namespace stitch_detail {

namespace {

// Eigen decomposition of a symmetric N x N matrix by cyclic Jacobi
// rotations: `a` becomes diagonal (the eigenvalues), the columns of `v` the
// eigenvectors.
template <int N>
void symmetricEigen(double a[N][N], double v[N][N]) noexcept {
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) v[i][j] = i == j ? 1.0 : 0.0;
  }
  for (int sweep = 0; sweep < 64; ++sweep) {
    double off = 0.0, diagonal = 0.0;
    for (int i = 0; i < N; ++i) {
      diagonal += a[i][i] * a[i][i];
      for (int j = i + 1; j < N; ++j) off += a[i][j] * a[i][j];
    }
    if (!(off > 1e-32 * diagonal)) break;
    for (int p = 0; p < N; ++p) {
      for (int q = p + 1; q < N; ++q) {
        if (a[p][q] == 0.0) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                         (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < N; ++k) {
          const double kp = a[k][p], kq = a[k][q];
          a[k][p] = c * kp - s * kq;
          a[k][q] = s * kp + c * kq;
        }
        for (int k = 0; k < N; ++k) {
          const double pk = a[p][k], qk = a[q][k];
          a[p][k] = c * pk - s * qk;
          a[q][k] = s * pk + c * qk;
        }
        for (int k = 0; k < N; ++k) {
          const double kp = v[k][p], kq = v[k][q];
          v[k][p] = c * kp - s * kq;
          v[k][q] = s * kp + c * kq;
        }
      }
    }
  }
}

// H x = b by Cholesky; false (x unset) when a pivot is not clearly
// positive, as where the neighbours leave a quadratic term undetermined.
bool solveCholesky6(const double h[6][6], const double b[6],
                    double x[6]) noexcept {
  double l[6][6] = {};
  double largest = 0.0;
  for (int i = 0; i < 6; ++i) largest = std::max(largest, h[i][i]);
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = h[i][j];
      for (int k = 0; k < j; ++k) sum -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(sum > 1e-10 * largest)) return false;
        l[i][i] = std::sqrt(sum);
      } else {
        l[i][j] = sum / l[j][j];
      }
    }
  }
  double y[6];
  for (int i = 0; i < 6; ++i) {
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= l[i][k] * y[k];
    y[i] = sum / l[i][i];
  }
  for (int i = 5; i >= 0; --i) {
    double sum = y[i];
    for (int k = i + 1; k < 6; ++k) sum -= l[k][i] * x[k];
    x[i] = sum / l[i][i];
  }
  return true;
}

}  // namespace

std::size_t walkToNearest(const Vec* first, std::size_t count, const Vec& p,
                          std::size_t cursor) noexcept {
  if (cursor >= count) cursor = count - 1;
  Vec d = sub(first[cursor], p);
  double best = dot(d, d);
  const std::size_t from = cursor;
  while (cursor + 1 < count) {
    d = sub(first[cursor + 1], p);
    const double next = dot(d, d);
    if (!(next <= best)) break;
    best = next;
    ++cursor;
  }
  if (cursor != from) return cursor;
  while (cursor > 0) {
    d = sub(first[cursor - 1], p);
    const double previous = dot(d, d);
    if (!(previous < best)) break;
    best = previous;
    --cursor;
  }
  return cursor;
}

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

namespace {

constexpr std::size_t kMaxReach = 8;
constexpr std::size_t kMaxPoints = (2 * kMaxReach + 1) * (2 * kMaxReach + 1);

// A point's neighbours on its own line and the lines around it, relative to
// the point.
struct Neighbours {
  Vec near[kMaxPoints];
  std::size_t count = 0;
};

// Gathers the neighbours of point `index` of `frame` within `reach` steps
// along and across lines, each step at most stepLimit; false where the point
// lacks neighbours on some side (an end of its line, the first or last
// frame, a gap): a patch carried out from one side tilts with the noise.
bool gatherNeighbours(const FramedPoints& surface, std::size_t frame,
                      std::size_t index, std::size_t reach, double stepLimit,
                      Neighbours& out) {
  const Vec* line = surface.points.data() + surface.start[frame];
  const Vec p = line[index];
  const double step2 = stepLimit * stepLimit;
  // Takes the run of row[c] and its neighbours; the sides (1 before, 2
  // after) on which it found any.
  auto takeRun = [&](const Vec* row, std::size_t n, std::size_t c) {
    out.near[out.count++] = sub(row[c], p);
    int sides = 0;
    for (int side = -1; side <= 1; side += 2) {
      Vec previous = row[c];
      for (std::size_t k = 1; k <= reach; ++k) {
        if (side < 0 ? k > c : c + k >= n) break;
        const Vec& q = side < 0 ? row[c - k] : row[c + k];
        const Vec d = sub(q, previous);
        if (!finite(q) || !(dot(d, d) <= step2)) break;
        out.near[out.count++] = sub(q, p);
        previous = q;
        sides |= side < 0 ? 1 : 2;
      }
    }
    return sides;
  };
  if (takeRun(line, surface.start[frame + 1] - surface.start[frame], index) !=
      3) {
    return false;
  }
  const std::size_t frames = surface.frameCount();
  int rowSides = 0;
  for (int side = -1; side <= 1; side += 2) {
    std::size_t cursor = index;
    for (std::size_t k = 1; k <= reach; ++k) {
      if (side < 0 ? k > frame : frame + k >= frames) break;
      const std::size_t g = side < 0 ? frame - k : frame + k;
      const std::size_t n = surface.start[g + 1] - surface.start[g];
      if (n == 0) break;
      const Vec* row = surface.points.data() + surface.start[g];
      cursor = walkToNearest(row, n, p, cursor);
      const Vec d = sub(row[cursor], p);
      const double limit = static_cast<double>(k) * stepLimit;
      if (!finite(row[cursor]) || !(dot(d, d) <= limit * limit)) break;
      takeRun(row, n, cursor);
      rowSides |= side < 0 ? 1 : 2;
    }
  }
  return rowSides == 3 && out.count >= 8;
}

// The plane of the neighbours: their mean and the eigenvectors of their
// scatter, the smallest giving the normal (axis[0]) and the others the
// in-plane directions; false where the neighbours are not flat enough.
bool planeAxesOf(const Neighbours& n, double flatness, Vec axis[3]) {
  Vec mean;
  for (std::size_t i = 0; i < n.count; ++i) {
    mean = Vec{mean.x + n.near[i].x, mean.y + n.near[i].y,
               mean.z + n.near[i].z};
  }
  const double inverse = 1.0 / static_cast<double>(n.count);
  mean = Vec{mean.x * inverse, mean.y * inverse, mean.z * inverse};
  double scatter[3][3] = {};
  for (std::size_t i = 0; i < n.count; ++i) {
    const Vec d = sub(n.near[i], mean);
    const double c[3] = {d.x, d.y, d.z};
    for (int r = 0; r < 3; ++r) {
      for (int s = r; s < 3; ++s) scatter[r][s] += c[r] * c[s];
    }
  }
  for (int r = 0; r < 3; ++r) {
    for (int s = 0; s < r; ++s) scatter[r][s] = scatter[s][r];
  }
  double axes[3][3];
  symmetricEigen<3>(scatter, axes);
  int order[3] = {0, 1, 2};
  std::sort(order, order + 3,
            [&](int a, int b) { return scatter[a][a] < scatter[b][b]; });
  const double off = scatter[order[0]][order[0]];
  const double inPlane = scatter[order[1]][order[1]];
  if (!(inPlane > 0.0) || !(off <= flatness * inPlane)) return false;
  for (int k = 0; k < 3; ++k) {
    axis[k] = Vec{axes[0][order[k]], axes[1][order[k]], axes[2][order[k]]};
  }
  return true;
}

// Height w over the plane as a quadratic in the in-plane coordinates (u, v)
// around the point: w = a + b u + c v + d u² + e u v + f v², fitted to the
// neighbours into c[6]. Its value and slope at the point give the centre and
// the normal, without the lift a plane through the mean takes from a curved
// surface. Points off the first fit by more than three robust deviations
// (spikes, stray reflections) are left out of a second.
bool fitHeight(const Neighbours& n, const Vec axis[3], double c[6]) {
  // u and v are fitted in units of a power of two near their largest size,
  // so that the quadratic terms stay as well determined in metres or
  // micrometres as in millimetres: scaling by a power of two is exact, and
  // the coefficients are scaled back exactly at the end.
  const std::size_t count = n.count;
  double uvw[kMaxPoints][3];
  double largestUV = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    uvw[i][0] = dot(n.near[i], axis[1]);
    uvw[i][1] = dot(n.near[i], axis[2]);
    uvw[i][2] = dot(n.near[i], axis[0]);
    largestUV = std::max({largestUV, std::fabs(uvw[i][0]),
                          std::fabs(uvw[i][1])});
  }
  int unitExponent = 0;
  if (largestUV > 0.0 && std::isfinite(largestUV)) {
    std::frexp(largestUV, &unitExponent);
    for (std::size_t i = 0; i < count; ++i) {
      uvw[i][0] = std::ldexp(uvw[i][0], -unitExponent);
      uvw[i][1] = std::ldexp(uvw[i][1], -unitExponent);
    }
  }
  double misfit[kMaxPoints];
  double limit = std::numeric_limits<double>::infinity();
  double x[6];
  for (int pass = 0; pass < 2; ++pass) {
    double h[6][6] = {}, g[6] = {};
    for (std::size_t i = 0; i < count; ++i) {
      if (pass > 0 && !(std::fabs(misfit[i]) <= limit)) continue;
      const double u = uvw[i][0], v = uvw[i][1];
      const double j[6] = {1.0, u, v, u * u, u * v, v * v};
      for (int r = 0; r < 6; ++r) {
        g[r] += j[r] * uvw[i][2];
        for (int k = r; k < 6; ++k) h[r][k] += j[r] * j[k];
      }
    }
    for (int r = 0; r < 6; ++r) {
      for (int k = 0; k < r; ++k) h[r][k] = h[k][r];
    }
    if (!solveCholesky6(h, g, x) && !solveSymmetric6(h, g, 1e-12, x)) {
      return false;
    }
    if (pass > 0) break;
    double spread[kMaxPoints];
    for (std::size_t i = 0; i < count; ++i) {
      const double u = uvw[i][0], v = uvw[i][1];
      misfit[i] = uvw[i][2] - (x[0] + x[1] * u + x[2] * v + x[3] * u * u +
                               x[4] * u * v + x[5] * v * v);
      spread[i] = std::fabs(misfit[i]);
    }
    std::nth_element(spread, spread + count / 2, spread + count);
    limit = 3.0 * 1.4826 * spread[count / 2];
    bool any = false;
    for (std::size_t i = 0; i < count; ++i)
      any |= !(std::fabs(misfit[i]) <= limit);
    if (!any) break;
  }
  // The linear terms carry one unit of u or v back, the quadratic ones two.
  static constexpr int kDegree[6] = {0, 1, 1, 2, 2, 2};
  for (int k = 0; k < 6; ++k) {
    if (!std::isfinite(x[k])) return false;
    c[k] = std::ldexp(x[k], -kDegree[k] * unitExponent);
  }
  return true;
}

}  // namespace

bool fitFramedPatch(const FramedPoints& surface, std::size_t frame,
                    std::size_t index, std::size_t reach, double stepLimit,
                    double flatness, FramedPatch& patch) {
  const Vec p = surface.points[surface.start[frame] + index];
  if (!finite(p)) return false;
  Neighbours neighbours;
  Vec axis[3];
  double c[6];
  if (!gatherNeighbours(surface, frame, index, std::min(reach, kMaxReach),
                        stepLimit, neighbours) ||
      !planeAxesOf(neighbours, flatness, axis) ||
      !fitHeight(neighbours, axis, c)) {
    return false;
  }
  for (int k = 0; k < 6; ++k) patch.c[k] = c[k];
  patch.origin = p;
  for (int k = 0; k < 3; ++k) patch.axis[k] = axis[k];
  return true;
}

void FramedPatch::at(const Vec& p, Vec& point, Vec& normal) const noexcept {
  const Vec d = sub(p, origin);
  const double u = dot(d, axis[1]), v = dot(d, axis[2]);
  const double w =
      c[0] + c[1] * u + c[2] * v + c[3] * u * u + c[4] * u * v + c[5] * v * v;
  const double wu = c[1] + 2.0 * c[3] * u + c[4] * v;
  const double wv = c[2] + c[4] * u + 2.0 * c[5] * v;
  point = Vec{origin.x + u * axis[1].x + v * axis[2].x + w * axis[0].x,
              origin.y + u * axis[1].y + v * axis[2].y + w * axis[0].y,
              origin.z + u * axis[1].z + v * axis[2].z + w * axis[0].z};
  const Vec slope{axis[0].x - wu * axis[1].x - wv * axis[2].x,
                  axis[0].y - wu * axis[1].y - wv * axis[2].y,
                  axis[0].z - wu * axis[1].z - wv * axis[2].z};
  const double l = length(slope);
  normal = Vec{slope.x / l, slope.y / l, slope.z / l};
}

bool solveSymmetric6(const double h[6][6], const double b[6],
                     double relativeFloor, double x[6]) {
  double a[6][6], v[6][6];
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) a[i][j] = h[i][j];
  }
  symmetricEigen<6>(a, v);
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

}  // namespace stitch_detail
}  // namespace QUAX
