// SPDX-License-Identifier: MIT
// Lines, profiles and settings texts shared by the filter tests.
#ifndef QUAX_TESTS_SCAN_FILTERS_FILTERTESTSUPPORT_H_
#define QUAX_TESTS_SCAN_FILTERS_FILTERTESTSUPPORT_H_

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <random>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "geomath/GeoPoint.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {

// The filters' passes and walks, one lane or four (the filters name these
// as friends).
struct AverageFilterAccess {
  static void filterPass(const ScanAverageFilter& filter, ScanLine* line,
                         bool wide) {
    filter.filterPass(line, wide);
  }
};

struct ChordalDeviationFilterAccess {
  static void thinLine(const ScanChordalDeviationFilter& filter, ScanLine* line,
                       bool wide) {
    filter.thinLine(line, wide);
  }
};

namespace test {

using Point = _GeoPoint<double>;
using Points = std::vector<Point>;

inline ScanLine makeLine(const Points& points) {
  ScanLine line;
  for (const Point& p : points) line.appendPoint(p);
  return line;
}

inline Points positionsOf(const ScanLine& line) {
  Points points;
  for (std::size_t i = 0; i < line.getPointCount(); ++i) {
    points.push_back(line.getPoint(i)->getPosition());
  }
  return points;
}

// Whether both hold the same positions, bit for bit.
inline bool sameBits(const Points& a, const Points& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double pa[3] = {a[i].x(), a[i].y(), a[i].z()};
    const double pb[3] = {b[i].x(), b[i].y(), b[i].z()};
    if (std::memcmp(pa, pb, sizeof pa) != 0) return false;
  }
  return true;
}

// A laser profile in the x-z plane: a smooth curve with measurement noise,
// optionally with a gap (a jump of `gapWidth` in x after the middle point).
inline Points noisyProfile(std::size_t count, std::uint32_t seed,
                           double noise = 0.05, double gapWidth = 0.0) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-noise, noise);
  Points points;
  for (std::size_t i = 0; i < count; ++i) {
    double x = 0.1 * static_cast<double>(i);
    if (gapWidth > 0.0 && i >= count / 2) x += gapWidth;
    const double z = 20.0 * std::sin(x * 0.05) + 3.0 * std::cos(x * 0.7);
    points.emplace_back(x + jitter(random), 0.25 * jitter(random),
                        z + jitter(random));
  }
  return points;
}

template <class Filter>
std::wstring settingsText(const Filter& filter) {
  std::wostringstream os;
  os << filter;
  return os.str();
}

template <class Filter>
void readSettings(Filter& filter, const std::wstring& text) {
  std::wistringstream is(text);
  is >> filter;
}

// The weights a filter's settings text lists, in order.
template <class Filter>
std::vector<int> weightsOf(const Filter& filter) {
  std::wistringstream text(settingsText(filter));
  std::vector<int> weights;
  for (std::wstring line; std::getline(text, line);) {
    if (line.rfind(L"<Weights value=\"", 0) == 0) {
      weights.push_back(std::stoi(line.substr(16)));
    }
  }
  return weights;
}

inline void filterLine(const ScanLineFilter& filter, ScanLine& line) {
  ScanLineFilterAccess::filterLine(filter, &line);
}

inline Points filtered(const ScanLineFilter& filter, const Points& points) {
  ScanLine line = makeLine(points);
  filterLine(filter, line);
  return positionsOf(line);
}

// The line with its axes turned `turns` times (x to y, y to z, z to x): a
// line in one coordinate plane lies in another. Turns 3 and 4 rotate it
// about two axes instead, into a tilted plane.
inline Points turned(const Points& line, int turns) {
  Points out;
  const double a = turns == 3 ? 0.35 : 1.1;
  const double b = turns == 3 ? 0.2 : -0.7;
  for (const Point& q : line) {
    const double y = q.y() * std::cos(a) - q.z() * std::sin(a);
    const double z = q.y() * std::sin(a) + q.z() * std::cos(a);
    out.push_back(turns >= 3   ? Point(q.x() * std::cos(b) - y * std::sin(b),
                                       q.x() * std::sin(b) + y * std::cos(b), z)
                  : turns == 1 ? Point(q.z(), q.x(), q.y())
                  : turns == 2 ? Point(q.y(), q.z(), q.x())
                               : q);
  }
  return out;
}

// What a filter run gave: the positions, or the exception's type.
struct Outcome {
  Points points;
  std::string error;
};

template <class Run>
Outcome outcomeOf(Run run) {
  Outcome outcome;
  try {
    outcome.points = run();
  } catch (const std::exception& e) {
    outcome.error = typeid(e).name();
  }
  return outcome;
}

// Gives point i of `line` a pixel item holding i; tagsOf reads them back, so
// that a test sees which original point each result point carries items of.
inline void tagPoints(ScanLine& line) {
  for (std::uint32_t i = 0; i < line.getPointCount(); ++i) {
    line.getPoint(i)->createExtensionList();
    auto* item = new ScanPointTPData();
    item->setLowPixel(i);
    line.getPoint(i)->addItem(item);
  }
}

inline std::vector<std::uint32_t> tagsOf(const ScanLine& line) {
  std::vector<std::uint32_t> tags;
  for (std::size_t i = 0; i < line.getPointCount(); ++i) {
    tags.push_back(
        static_cast<ScanPointTPData*>(
            line.getPoint(i)->findItem(ScanPointTPData::TPDataKey).getBody())
            ->getLowPixel());
  }
  return tags;
}

}  // namespace test
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_FILTERS_FILTERTESTSUPPORT_H_
