// SPDX-License-Identifier: MIT
// Property test: the average filter's four-lane and two-lane passes against
// the step-by-step reference on seeded random lines, short ones and ones with
// points that are not finite included; same points to the bit, same
// exceptions, and the same points written before an exception.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <typeinfo>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "scan/filters/AverageFilterWide.h"
#include "scan/filters/ScanAverageFilter.h"

namespace QUAX {

struct AverageFilterAccess {
  static void filterPass(const ScanAverageFilter& filter, ScanLine& line,
                         bool wide) {
    filter.filterPass(&line, wide);
  }
};

namespace {

using test::Point;
using test::Points;

// Noise of about the limit, points exactly at the limit, repeated points,
// gaps, large offsets, and now and then a coordinate that is not finite.
Points randomLine(std::mt19937& random, double limit) {
  std::uniform_int_distribution<int> kinds(0, 4);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int kind = kinds(random);
  const int size = 1 + static_cast<int>(random() % (random() % 2 ? 40 : 300));
  const double offset = kind == 1 ? 1.0e4 * unit(random) : 0.0;
  Points line;
  for (int i = 0; i < size; ++i) {
    const double t = 0.3 * limit * i;
    double x = t;
    double y = 0.2 * limit * unit(random);
    double z = limit * unit(random);
    if (kind == 2) z = (i / 5) % 2 == 0 ? 0.0 : limit;     // steps of the limit
    if (kind == 3) x = 0.3 * limit * (i / 3);              // repeated points
    if (kind == 4 && random() % 9 == 0) x += 3.0 * limit;  // gaps
    line.emplace_back(x + offset, y, z + offset);
  }
  if (random() % 6 == 0) {
    const double bad = random() % 2 ? std::numeric_limits<double>::quiet_NaN()
                                    : std::numeric_limits<double>::infinity();
    line[random() % line.size()] = Point(0.0, bad, 0.0);
  }
  return line;
}

struct Outcome {
  Points points;
  std::string error;
};

Outcome passOf(const ScanAverageFilter& filter, const Points& points,
               bool wide) {
  ScanLine line = test::makeLine(points);
  Outcome outcome;
  try {
    AverageFilterAccess::filterPass(filter, line, wide);
  } catch (const std::exception& e) {
    outcome.error = typeid(e).name();
  }
  outcome.points = test::positionsOf(line);
  return outcome;
}

TEST(AverageFilterPasses, FourAndTwoLanesMatchTheStepByStepPass) {
  std::mt19937 random(4242);
  std::uniform_real_distribution<double> exponent(-2.0, 1.0);
  const bool wide = averageWideSupported();
  for (int round = 0; round < 600; ++round) {
    const double scale = std::pow(10.0, exponent(random));
    const Points line = randomLine(random, scale);
    const int n = 1 + 2 * static_cast<int>(random() % 10);  // up to 19
    double r = scale * (round % 3 == 0 ? 0.5 : 3.0);
    const bool edited = round % 7 == 0;
    // An edited block holds a limit of whole 64ths, which its text gives
    // exactly.
    if (edited) r = (std::floor(r * 64.0) + 1.0) / 64.0;
    ScanAverageFilter filter(n, r);
    std::vector<int> weights = test::weightsOf(filter);
    if (edited) {  // weights as settings text may hold them
      std::wstring text = L"<ScanAverageFilter>\n<NeighborhoodSize value=\"" +
                          std::to_wstring(n) +
                          L"\"/>\n<ProximityLimit value=\"" +
                          std::to_wstring(r) + L"\"/>\n";
      for (int& w : weights) {
        w = static_cast<int>(random() % 5) - 2;
        text += L"<Weights value=\"" + std::to_wstring(w) + L"\"/>\n";
      }
      test::readSettings(filter, text + L"</ScanAverageFilter>\n");
    }
    const std::string what = "round " + std::to_string(round);
    const Outcome two = passOf(filter, line, false);
    Outcome expected;
    try {
      expected.points = reference::average(line, n, r, weights);
    } catch (const std::exception& e) {
      expected.error = typeid(e).name();
    }
    EXPECT_EQ(two.error, expected.error) << what;
    if (expected.error.empty()) {
      EXPECT_TRUE(test::sameBits(two.points, expected.points)) << what;
    }
    if (wide) {
      const Outcome four = passOf(filter, line, true);
      EXPECT_EQ(four.error, two.error) << what;
      EXPECT_TRUE(test::sameBits(four.points, two.points)) << what;
    }
  }
}

}  // namespace
}  // namespace QUAX
