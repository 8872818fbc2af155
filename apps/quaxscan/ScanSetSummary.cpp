// SPDX-License-Identifier: MIT
#include "apps/quaxscan/ScanSetSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <unordered_map>

#include "apps/quaxscan/ScanSetIO.h"
#include "scan/model/ScanPointItems.h"

namespace quaxscan {

void Box::add(double x, double y, double z) {
  const double v[3] = {x, y, z};
  for (int i = 0; i < 3; ++i) {
    low[i] = empty ? v[i] : std::min(low[i], v[i]);
    high[i] = empty ? v[i] : std::max(high[i], v[i]);
  }
  empty = false;
}

void Box::add(const Box& other) {
  if (other.empty) return;
  add(other.low[0], other.low[1], other.low[2]);
  add(other.high[0], other.high[1], other.high[2]);
}

namespace {

bool hasItem(const QUAX::ScanPoint& point, const _GUID& key) {
  const QUAX::ExtensionList* list = point.extensionList();
  return list != nullptr && list->findItemIfPresent(key) != nullptr;
}

std::string boxText(const Box& box) {
  if (box.empty) return "none";
  char text[200];
  std::snprintf(text, sizeof text,
                "x %.3f .. %.3f, y %.3f .. %.3f, z %.3f .. %.3f", box.low[0],
                box.high[0], box.low[1], box.high[1], box.low[2], box.high[2]);
  return text;
}

}  // namespace

SetSummary summarize(const QUAX::ScanSet& set, bool countItems) {
  SetSummary summary;
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const QUAX::ScanSurface* surface = set.getSurface(s);
    SurfaceSummary figures;
    figures.frames = surface->getFrameCount();
    for (std::size_t f = 0; f < figures.frames; ++f) {
      const QUAX::ScanFrame* frame = surface->getFrame(f);
      const std::size_t n =
          frame->hasScanLine() ? frame->getScanLine()->getPointCount() : 0;
      figures.pointsPerFrame.push_back(n);
      if (n == 0) {
        ++figures.framesWithoutPoints;
        continue;
      }
      const bool first = figures.points == 0;
      figures.points += n;
      figures.fewestPoints = first ? n : std::min(figures.fewestPoints, n);
      figures.mostPoints = std::max(figures.mostPoints, n);
      const QUAX::ScanLine* line = frame->getScanLine();
      for (std::size_t i = 0; i < n; ++i) {
        const QUAX::ScanPoint& p = *line->getPoint(i);
        figures.box.add(p.position().x(), p.position().y(), p.position().z());
        if (countItems && p.hasExtensionList()) {
          figures.pointsWithGraysum +=
              hasItem(p, QUAX::ScanPointGraysumData::GraysumDataKey);
          figures.pointsWithPixels +=
              hasItem(p, QUAX::ScanPointTPData::TPDataKey);
        }
      }
    }
    summary.frames += figures.frames;
    summary.points += figures.points;
    summary.box.add(figures.box);
    summary.surfaces.push_back(std::move(figures));
  }
  return summary;
}

void printSummary(const SetSummary& summary, bool perFrame, std::ostream& out) {
  out << summary.surfaces.size() << " surfaces, " << summary.frames
      << " frames, " << summary.points << " points\n";
  out << "bounding box: " << boxText(summary.box) << "\n";
  for (std::size_t s = 0; s < summary.surfaces.size(); ++s) {
    const SurfaceSummary& f = summary.surfaces[s];
    out << "surface " << s << ": " << f.frames << " frames ("
        << f.framesWithoutPoints << " without points), " << f.points
        << " points\n";
    if (f.points > 0) {
      const std::size_t withPoints = f.frames - f.framesWithoutPoints;
      char mean[32];
      std::snprintf(mean, sizeof mean, "%.1f",
                    double(f.points) / double(withPoints));
      out << "  points per frame: " << f.fewestPoints << " to " << f.mostPoints
          << ", " << mean << " on average\n";
    }
    out << "  bounding box: " << boxText(f.box) << "\n";
    if (f.pointsWithGraysum > 0 || f.pointsWithPixels > 0) {
      out << "  gray sums on " << f.pointsWithGraysum << " points, pixels on "
          << f.pointsWithPixels << " points\n";
    }
    if (perFrame) {
      out << "  points of each frame:";
      for (std::size_t i = 0; i < f.pointsPerFrame.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        out << ' ' << f.pointsPerFrame[i];
      }
      out << "\n";
    }
  }
}

namespace {

// The unit normal of the plane that fits `points` best: the eigenvector of
// their scatter matrix with the smallest eigenvalue. Returns false when the
// points do not span a plane.
bool planeNormal(const std::vector<QUAX::_GeoPoint<double>>& points,
                 double centre[3], double normal[3]) {
  const double n = double(points.size());
  centre[0] = centre[1] = centre[2] = 0.0;
  for (const auto& p : points) {
    centre[0] += p.x() / n;
    centre[1] += p.y() / n;
    centre[2] += p.z() / n;
  }
  double c[3][3] = {};
  for (const auto& p : points) {
    const double d[3] = {p.x() - centre[0], p.y() - centre[1],
                         p.z() - centre[2]};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) c[i][j] += d[i] * d[j];
    }
  }
  // Smallest eigenvalue of the symmetric matrix, in closed form.
  const double p1 = c[0][1] * c[0][1] + c[0][2] * c[0][2] + c[1][2] * c[1][2];
  const double q = (c[0][0] + c[1][1] + c[2][2]) / 3.0;
  const double p2 = (c[0][0] - q) * (c[0][0] - q) +
                    (c[1][1] - q) * (c[1][1] - q) +
                    (c[2][2] - q) * (c[2][2] - q) + 2.0 * p1;
  const double p = std::sqrt(p2 / 6.0);
  if (!(p > 0)) return false;
  double b[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) b[i][j] = (c[i][j] - (i == j ? q : 0.0)) / p;
  }
  const double det = b[0][0] * (b[1][1] * b[2][2] - b[1][2] * b[2][1]) -
                     b[0][1] * (b[1][0] * b[2][2] - b[1][2] * b[2][0]) +
                     b[0][2] * (b[1][0] * b[2][1] - b[1][1] * b[2][0]);
  const double phi = std::acos(std::clamp(det / 2.0, -1.0, 1.0)) / 3.0;
  const double smallest = q + 2.0 * p * std::cos(phi + 2.0 * M_PI / 3.0);
  // The normal lies across the rows of (C - smallest I): the longest cross
  // product of two of them.
  double m[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[i][j] = c[i][j] - (i == j ? smallest : 0.0);
  }
  double best = 0.0;
  for (int r = 0; r < 3; ++r) {
    const double* u = m[r];
    const double* v = m[(r + 1) % 3];
    const double x[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                         u[0] * v[1] - u[1] * v[0]};
    const double length = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    if (length > best) {
      best = length;
      for (int i = 0; i < 3; ++i) normal[i] = x[i] / length;
    }
  }
  // Points along one line span no plane: there the two larger eigenvalues'
  // product, which the cross product measures, all but vanishes.
  const double trace = c[0][0] + c[1][1] + c[2][2];
  return best > 1e-6 * trace * trace;
}

}  // namespace

OverlapGap overlapGap(const QUAX::ScanSet& set, double radius) {
  OverlapGap gap;
  double sum = 0.0;
  for (const OverlapSample& sample : overlapSamples(set, radius, 4000)) {
    sum += std::fabs(sample.distance);
    ++gap.pairs;
  }
  if (gap.pairs > 0) gap.meanDistance = sum / double(gap.pairs);
  return gap;
}

std::vector<OverlapSample> overlapSamples(const QUAX::ScanSet& set,
                                          double radius,
                                          std::size_t perSurface) {
  std::vector<OverlapSample> samples;
  if (!(radius > 0) || set.getSurfaceCount() < 2) return samples;
  using Cell = std::int64_t;
  auto cellOf = [radius](double v) {
    return Cell(std::clamp(std::floor(v / radius), -1e15, 1e15));
  };
  // 21 bits per axis; neighbouring cells of far-apart points may share a
  // key, which costs only a few extra distance tests.
  auto key = [](Cell i, Cell j, Cell k) {
    return ((i & 0x1fffff) << 42) | ((j & 0x1fffff) << 21) | (k & 0x1fffff);
  };
  std::vector<std::vector<QUAX::_GeoPoint<double>>> points(
      set.getSurfaceCount());
  forEachPoint(set, [&](std::size_t s, std::size_t, const QUAX::ScanPoint& p) {
    points[s].push_back(p.position());
  });
  std::vector<QUAX::_GeoPoint<double>> near;
  for (std::size_t a = 0; a + 1 < points.size(); ++a) {
    std::unordered_map<Cell, std::vector<std::uint32_t>> grid;
    for (std::size_t i = 0; i < points[a].size(); ++i) {
      const auto& p = points[a][i];
      grid[key(cellOf(p.x()), cellOf(p.y()), cellOf(p.z()))].push_back(
          std::uint32_t(i));
    }
    for (std::size_t b = a + 1; b < points.size(); ++b) {
      const std::size_t step = std::max<std::size_t>(
          1, points[b].size() / std::max<std::size_t>(1, perSurface));
      for (std::size_t i = 0; i < points[b].size(); i += step) {
        const auto& q = points[b][i];
        const Cell ci = cellOf(q.x()), cj = cellOf(q.y()), ck = cellOf(q.z());
        // The earlier surface's points around q, and q's distance from the
        // plane they span.
        near.clear();
        for (Cell di = -1; di <= 1; ++di) {
          for (Cell dj = -1; dj <= 1; ++dj) {
            for (Cell dk = -1; dk <= 1; ++dk) {
              const auto cell = grid.find(key(ci + di, cj + dj, ck + dk));
              if (cell == grid.end()) continue;
              for (std::uint32_t index : cell->second) {
                const auto d = points[a][index] - q;
                if (d.x() * d.x() + d.y() * d.y() + d.z() * d.z() <=
                    radius * radius) {
                  near.push_back(points[a][index]);
                }
              }
            }
          }
        }
        double centre[3] = {}, normal[3] = {};
        if (near.size() < 3 || !planeNormal(near, centre, normal)) continue;
        const double up = normal[2] < 0 ? -1.0 : 1.0;
        samples.push_back(
            OverlapSample{q.x(), q.y(),
                          up * ((q.x() - centre[0]) * normal[0] +
                                (q.y() - centre[1]) * normal[1] +
                                (q.z() - centre[2]) * normal[2])});
      }
    }
  }
  return samples;
}

}  // namespace quaxscan
