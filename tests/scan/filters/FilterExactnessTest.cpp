// SPDX-License-Identifier: MIT
// Property test: seeded random lines through each filter, against the
// step-by-step reference, over many limits and spans; same points to the bit,
// same exceptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/GeoLine.h"
#include "scan/filters/AverageFilterWide.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/filters/chordal/ChordalTrials.h"
#include "scan/filters/chordal/DeviationSweeps.h"
#include "scan/filters/chordal/FourLaneThinning.h"
#include "scan/filters/chordal/Thinning.h"

namespace QUAX {

namespace {

using test::Outcome;
using test::outcomeOf;
using test::Point;
using test::Points;
using test::turned;

// Lines of the kinds that stress the bounds: long nearly straight runs whose
// points sit just below or at the limit, far from the origin (large rounding),
// out of any coordinate plane (noisy across it too), with repeated points,
// steps and zigzags.
Points randomLine(std::mt19937& random, double limit, int maxSize = 400) {
  std::uniform_int_distribution<int> kinds(0, 8);
  std::uniform_int_distribution<int> sizes(3, maxSize);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int kind = kinds(random);
  const std::size_t n = static_cast<std::size_t>(sizes(random));
  const double offset = kind == 1 ? 1.0e4 * unit(random) : 0.0;
  const Point tilt(unit(random), unit(random), unit(random));
  Points line;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) * 0.05;
    double x = t;
    double y = 0.0;
    double z = 0.0;
    switch (kind) {
      case 0:  // noise of about the limit on a straight line
        z = limit * unit(random);
        break;
      case 1:  // a curve far from the origin
        z = std::sin(t) + 0.1 * limit * unit(random);
        break;
      case 2:  // out of every coordinate plane
        y = tilt.x() * t + 0.5 * limit * unit(random);
        z = tilt.y() * t * t * 0.1 + 0.5 * limit * unit(random);
        break;
      case 3:  // steps of exactly the limit
        z = (i / 7) % 2 == 0 ? 0.0 : limit;
        break;
      case 4:  // repeated points and zigzags
        x = static_cast<double>(i / 3) * 0.05;
        z = (i % 2) * limit * 0.999;
        break;
      case 6:  // spikes of the limit, give or take a few units in the last
               // place, on a straight line: decided by rounding alone
      case 7:  // the same, turned out of the coordinate planes
        z = i % 11 == 5
                ? limit * (1.0 + static_cast<double>(i % 5 - 2) * 1.1e-16)
                : 0.0;
        if (kind == 7) {
          const double c = 0.6;
          const double s = 0.8;
          y = s * z + tilt.x() * 0.01 * t;
          z = c * z - s * tilt.y() * 0.01 * t;
        }
        break;
      case 8:  // noise across a straight line in both cross coordinates
        y = tilt.z() * t + 0.5 * limit * unit(random);
        z = 0.5 * limit * unit(random);
        break;
      default:  // a smooth profile with gaps
        x = t + (i > n / 2 ? 5.0 : 0.0);
        z = 3.0 * std::cos(t * 0.7) + limit * 0.3 * unit(random);
        break;
    }
    line.emplace_back(x + offset, y + offset, z + offset);
  }
  return line;
}

void expectSame(const Outcome& got, const Outcome& expected,
                const std::string& what) {
  EXPECT_EQ(got.error, expected.error) << what;
  if (got.error.empty() && expected.error.empty()) {
    EXPECT_TRUE(test::sameBits(got.points, expected.points)) << what;
  }
}

// The one-lane walk's outcome, once the four-lane one (where the processor
// and the limit allow it) is found to give the same.
Outcome chordalOutcome(const ScanChordalDeviationFilter& filter,
                       const Points& points, double limit) {
  const auto walk = [&](bool wide) {
    return outcomeOf([&] {
      ScanLine line = test::makeLine(points);
      ChordalDeviationFilterAccess::thinLine(filter, &line, wide);
      return test::positionsOf(line);
    });
  };
  const Outcome outcome = walk(false);
  if (chordalWideRuns(limit)) expectSame(walk(true), outcome, "four lanes");
  return outcome;
}

// The chordal deviation filter at `limit` (and the default span) against
// the step-by-step run, on one line.
void expectChordalAsReference(const Points& line, double limit,
                              const std::string& what) {
  expectSame(chordalOutcome(ScanChordalDeviationFilter(limit), line, limit),
             outcomeOf([&] {
               return reference::chordalDeviation(line, limit, 2000.0);
             }),
             what);
}

TEST(FilterExactness, ChordalDeviationMatchesTheStepByStepRun) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> exponent(-4.0, 0.5);
  for (int round = 0; round < 400; ++round) {
    const double limit = std::pow(10.0, exponent(random));
    const double span = round % 5 == 0 ? limit * 40.0 : 2000.0;
    const Points line = randomLine(random, limit);
    const ScanChordalDeviationFilter filter(limit, span);
    expectSame(chordalOutcome(filter, line, limit), outcomeOf([&] {
                 return reference::chordalDeviation(line, limit, span);
               }),
               "round " + std::to_string(round));
  }
}

// Spans of hundreds of points, over which the thinning bounds whole groups of
// blocks at once; first a span of dozens that comes back onto its anchor
// (that step is passed over) after a point far out, which later chords must
// still find.
TEST(FilterExactness, ChordalDeviationMatchesOnLongSpans) {
  Points back;
  for (int k = 0; k <= 60; ++k) back.emplace_back(k * 1e-3, 0.0, 0.0);
  back.insert(back.end(), {Point(1e3, 0.0, 0.0), Point(0.0, 0.0, 0.0),
                           Point(1e2, 1.0, 0.0), Point(0.2, 1e-2, 0.0),
                           Point(30.0, 2.0, 0.0), Point(40.0, 2.0, 0.0)});
  expectChordalAsReference(back, 0.5, "back on the anchor");
  // Spikes within a few rounding units of the limit off a straight line far
  // from the origin and out of the coordinate planes, 40 points apart: the
  // bound of a span, its chord turned by rounding alone, comes as close.
  const Point along(0.6, 0.48, 0.64);
  const Point across(0.8, -0.36, -0.48);
  for (double under = 1e-13; under < 1e-8; under *= 1.5) {
    Points spikes;
    for (int k = 0; k < 400; ++k) {
      const double out = k % 40 == 5 ? 1e-3 * (1.0 - under) : 0.0;
      const double at = 0.01 * k;
      spikes.emplace_back(1e3 + at * along.x() + out * across.x(),
                          2e3 + at * along.y() + out * across.y(),
                          3e3 + at * along.z() + out * across.z());
    }
    expectChordalAsReference(
        spikes, 1e-3, "spikes under the limit by " + std::to_string(under));
  }
  // Spikes just over the limit on a line along z through the origin: the
  // point before each reaches the limit from the chord to the spike, and
  // the bound of such a step must hold the span's reach from its anchor, not
  // from the origin, which lies between them.
  for (double over = 1.02; over < 1.2; over += 0.03) {
    Points spikes;
    for (int k = 0; k < 400; ++k) {
      const double out = k % 40 == 5 ? 1e-3 * over : 0.0;
      spikes.emplace_back(out, 0.5 * out, 0.01 * (k - 200));
    }
    expectChordalAsReference(
        spikes, 1e-3, "spikes over the limit by " + std::to_string(over));
  }
  // A line that runs up along z past the origin and back before a spike:
  // its farthest point from the first (the anchor), tested point by point,
  // must set the reach of the span's bound, so that the chord to the spike
  // turned just far enough to move it to the limit is tested, not passed.
  for (double over = 1.01; over < 1.1; over += 0.02) {
    Points hairpin;
    for (int k = 0; k <= 20; ++k) hairpin.emplace_back(0.0, 0.0, 0.1 * k - 0.1);
    for (int k = 1; k <= 15; ++k) hairpin.emplace_back(0.0, 0.0, 1.9 - 0.1 * k);
    hairpin.emplace_back(1e-3 * over * 0.45 / 2.0, 0.0, 0.35);
    hairpin.emplace_back(0.0, 0.0, 0.2);
    expectChordalAsReference(
        hairpin, 1e-3, "hairpin over the limit by " + std::to_string(over));
  }
  std::mt19937 random(5150);
  std::uniform_real_distribution<double> exponent(-3.0, 0.0);
  for (int round = 0; round < 16; ++round) {
    const double limit = std::pow(10.0, exponent(random));
    const Points line = randomLine(random, limit, 2000);
    for (const double factor : {1.0, 4.0, 20.0}) {
      expectChordalAsReference(line, limit * factor,
                               "round " + std::to_string(round));
    }
  }
}

TEST(FilterExactnessSlow, NPointSearchMatchesTheStepByStepSearch) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> exponent(-3.0, -0.5);
  for (int round = 0; round < 40; ++round) {
    const Points line =
        turned(randomLine(random, std::pow(10.0, exponent(random))), round % 5);
    const int count = 3 + static_cast<int>(random() % 40);
    const ScanNPointFilter filter(count, ScanNPointFilter::CHORDAL_DEVIATION);
    // The reference filters a copy and throws EScanNPointFilterPointsNotExact
    // after its final run; the filter leaves the cut line, as compared here.
    expectSame(outcomeOf([&] { return test::filtered(filter, line); }),
               outcomeOf([&] { return reference::chordalSearch(line, count); }),
               "round " + std::to_string(round));
  }
}

// A run of the trials (reset for `line` with `span`) at `limit` against the
// step-by-step run.
void expectTrialAsReference(ChordalTrials& trials, const Points& line,
                            double limit, double span,
                            const std::string& what) {
  expectSame(
      outcomeOf([&] {
        Points kept;
        trials.run(limit);
        for (const auto k : trials.kept()) kept.push_back(line[k]);
        return kept;
      }),
      outcomeOf([&] { return reference::chordalDeviation(line, limit, span); }),
      what);
}

// Limits one unit in the last place above and then at the deviation of a
// point from the chord of a step from the first point (the largest one, or
// any): the N-point search's trials keep a bound of each step for lines in a
// coordinate plane (by cross products four or two at a time), must walk such
// a step as the plain run, and must not take a point left in doubt by the
// first limit for one below the second.
TEST(FilterExactness, ChordalTrialsMatchAtLimitsOnADeviation) {
  std::mt19937 random(31);
  ChordalTrials trials;
  for (int round = 0; round < 90; ++round) {
    Points line = turned(randomLine(random, 0.05, 120), round % 5);
    // Some lie so far out that cross products would overflow, or hold a
    // coordinate that is not a number: measured by the chord line alone.
    if (round % 10 == 6) {
      for (Point& q : line) q = Point(q.x() * 1e80, q.y() * 1e80, q.z() * 1e80);
    } else if (round % 10 == 5) {
      Point& q = line[1 + random() % (line.size() - 1)];
      q = Point(std::nan(""), q.y(), q.z());
    }
    const double span = round % 3 == 0 ? 3.0 : 2000.0;  // some chords reach it
    trials.reset(line.data(), line.size(), span, round % 2 == 0);
    double deviation = 0.0;
    // The last limit is one that only the span reaches.
    for (int t = 0; t < 9; ++t) {
      if (t % 2 == 0) {
        const std::size_t i = 1 + random() % (line.size() - 2);
        const _MathVector<double> chord = line[i + 1] - line[0];
        if (chord.length() < 1e-12) continue;
        const _GeoLine<double> along(line[0], chord);
        const std::size_t point = 1 + random() % i;
        deviation = 0.0;
        for (std::size_t j = 1; j <= i; ++j) {
          const double d = (line[j] - along.project(line[j])).length();
          if (round % 3 == 1 ? j == point : d > deviation) deviation = d;
        }
      }
      double limit = t % 2 == 0 ? std::nextafter(deviation, 1.0) : deviation;
      if (t == 8) limit = 1e3;
      if (!(limit > 0.0)) continue;
      expectTrialAsReference(trials, line, limit, span,
                             "round " + std::to_string(round));
    }
  }
}

// Off any plane, limits at, and one unit in the last place above, the
// largest deviation of a step that the walk from the first point reaches
// (one whose deviation is the largest so far), after a run with a higher
// limit has kept bounds of the steps: the trials bound such steps from the
// points' offsets and the chord's square, with room for their rounding, and
// must walk the step as the plain run does however close the limit lies.
TEST(FilterExactness, ChordalTrialsMatchAtTheDeviationOfAReachedStep) {
  std::mt19937 random(43);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  ChordalTrials trials;
  for (int round = 0; round < 60; ++round) {
    const double noise = std::pow(10.0, -2.0 + unit(random));
    const double offset = round % 3 == 0 ? 1.0e4 * unit(random) : 0.0;
    const double bend = 0.05 * unit(random);
    Points line;
    for (int i = 0; i < 80; ++i) {
      const double t = 0.05 * i;
      line.emplace_back(t + offset,
                        bend * t * t + noise * unit(random) + offset,
                        0.3 * t + noise * unit(random) + offset);
    }
    std::vector<double> reached;  // the deviations of such steps of 8 points on
    double most = 0.0;
    for (std::size_t i = 1; i + 1 < line.size(); ++i) {
      const _GeoLine<double> along(line[0], line[i + 1] - line[0]);
      double deviation = 0.0;
      for (std::size_t j = 1; j <= i; ++j) {
        const double d = (line[j] - along.project(line[j])).length();
        deviation = d > deviation ? d : deviation;
      }
      if (deviation > most && i >= 8) reached.push_back(deviation);
      most = deviation > most ? deviation : most;
    }
    if (reached.empty()) continue;
    trials.reset(line.data(), line.size(), 2000.0, round % 2 == 0);
    const double at = reached[random() % reached.size()];
    for (const double limit : {2.0 * most, at, std::nextafter(at, 1.0)}) {
      expectTrialAsReference(trials, line, limit, 2000.0,
                             "round " + std::to_string(round));
    }
  }
}

// The sweeps that bound a step, in four lanes (fused), two or one, against
// the products taken one point at a time: the largest cross product and
// offsets' product of a step within a few eps of |q|^2 |c|^2, and the first
// point whose product reaches a threshold with the largest one before it.
// Steps of every length, so that every lane and the points past the last
// group count.
TEST(FilterExactness, SweepsMatchProductsTakenOneAtATime) {
  std::mt19937 random(59);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double eps = std::numeric_limits<double>::epsilon();
  for (int round = 0; round < 300; ++round) {
    const std::size_t to = 2 + static_cast<std::size_t>(random() % 30);
    std::vector<double> xs(to + 9), ys(to + 9), zs(to + 9);
    for (std::size_t j = 0; j <= to; ++j) {
      xs[j] = 0.1 * static_cast<double>(j) + 0.02 * unit(random);
      ys[j] = 0.02 * unit(random);
      zs[j] = 0.3 * unit(random);
    }
    const double cx = xs[to] - xs[0];
    const double cy = ys[to] - ys[0];
    const double cz = zs[to] - zs[0];
    const double cc = cx * cx + cy * cy + cz * cz;
    // Room for the four-lane scans past the last point.
    std::vector<double> cross(to + 4), offset(to), qx(to + 9), qy(to + 9),
        qz(to + 9), qq(to + 9);
    double scale = 0.0;
    for (std::size_t j = 1; j < to; ++j) {
      const double a = xs[j] - xs[0];
      const double b = zs[j] - zs[0];
      const double w = a * cz - b * cx;
      cross[j] = w * w;
      const double c = ys[j] - ys[0];
      const double t = a * cx + c * cy + b * cz;
      offset[j] = (a * a + c * c + b * b) * cc - t * t;
      scale = std::max(scale, (a * a + b * b + c * c) * cc);
    }
    const std::string what = "round " + std::to_string(round);
    const double room = 16.0 * eps * scale;
    const double mostCross =
        *std::max_element(cross.begin() + 1, cross.begin() + to);
    const double mostOffset =
        *std::max_element(offset.begin() + 1, offset.end());
    const std::size_t reaching = 1 + random() % (to - 1);
    const double threshold = cross[reaching];
    for (const bool wide : {false, true}) {
      const bool lanes = wide && fusedLanesSupported();
      EXPECT_NEAR(largestCrossSquare(xs.data(), zs.data(), xs[0], zs[0], cx, cz,
                                     1, to, lanes),
                  mostCross, room)
          << what;
      const AnchorOffsets q{qx.data(), qy.data(), qz.data(), qq.data()};
      takeOffsets(xs.data(), ys.data(), zs.data(), xs[0], ys[0], zs[0], 1, to,
                  q, lanes);
      EXPECT_NEAR(
          std::max(0.0, largestOffsetSquare(q, cx, cy, cz, cc, 1, to, lanes)),
          std::max(0.0, mostOffset), room)
          << what;
      // The first cross product at least the threshold, where no product
      // before it lies within rounding of it.
      std::size_t first = 1;
      while (cross[first] < threshold) ++first;
      double crossed = 0.0;
      double before = -std::numeric_limits<double>::infinity();
      const std::size_t found =
          firstCrossReaching(xs.data(), zs.data(), xs[0], zs[0], cx, cz, 1, to,
                             threshold * (1.0 - 1e-9), crossed, before, lanes);
      double largestBefore = -std::numeric_limits<double>::infinity();
      bool clear = true;
      for (std::size_t j = 1; j < first; ++j) {
        largestBefore = std::max(largestBefore, cross[j]);
        clear = clear && cross[j] < threshold * (1.0 - 1e-6);
      }
      if (!clear) continue;
      EXPECT_EQ(found, first) << what;
      EXPECT_NEAR(crossed, cross[first], room) << what;
      if (first > 1) {
        EXPECT_NEAR(before, largestBefore, room) << what;
      }
      // The same search over the products as they stand.
      double beforeValues = -std::numeric_limits<double>::infinity();
      EXPECT_EQ(
          firstAtLeast(cross.data(), 1, to, threshold, beforeValues, lanes),
          first)
          << what;
    }
  }
}

// In a coordinate plane the search takes the deviation statistics on the
// trials' copy of the two other coordinates: the same values to the bit, and
// the same exceptions, as on the positions, whichever axis is left out and
// wherever the plane lies.
TEST(FilterExactness, PlaneStatisticsMatchTheStatistics) {
  std::mt19937 random(47);
  ChordalTrials trials;
  int planes = 0;
  for (int round = 0; round < 240; ++round) {
    const Points drawn = randomLine(random, 0.05, 80);
    const double level = round % 2 == 0 ? 0.0 : 3.5;
    Points flat;
    for (const Point& q : drawn) {
      flat.emplace_back(q.x(), level, q.z() + (round % 5 == 0 ? q.y() : 0.0));
    }
    Points line = turned(flat, round % 3);
    // Some lines leave the plane at one point only: they have none.
    const bool leaves = round % 7 == 3;
    if (leaves) {
      Point& q = line[random() % line.size()];
      q = Point(q.x() + 1e-9, q.y() + 1e-9, q.z() + 1e-9);
    }
    trials.reset(line.data(), line.size());
    const PlaneCoordinates plane = trials.plane();
    if (leaves) {
      EXPECT_EQ(plane.a, nullptr) << "round " << round;
    }
    if (plane.a == nullptr) continue;  // none, or beyond the plane's range
    ++planes;
    auto statistics = [&](auto&& take) {
      return outcomeOf([&] {
        std::vector<double> deviations(line.size());
        const DeviationStatistics stats = take(deviations.data());
        Points values{Point(stats.length, stats.minimum, stats.maximum),
                      Point(stats.sum, static_cast<double>(stats.count), 0.0)};
        for (std::size_t i = 0; i + 2 < line.size(); ++i) {
          values.emplace_back(deviations[i], 0.0, 0.0);
        }
        return values;
      });
    };
    expectSame(statistics([&](double* d) {
                 return deviationStatistics(plane, line.size(), d);
               }),
               statistics([&](double* d) {
                 return deviationStatistics(line.data(), line.size(), d);
               }),
               "round " + std::to_string(round));
  }
  EXPECT_GT(planes, 150);
}

// The search counts the limits that keep most points from the statistics'
// first steps, and in a coordinate plane from cross products where they fall
// clear of the limit: the same count as the thinning, or 0 where it gives up.
// Some limits are a deviation at the first or second step from the first
// point, or one unit in the last place above it.
TEST(FilterExactness, ShortSpanCountMatchesTheThinning) {
  std::mt19937 random(43);
  std::vector<double> deviations;
  ChordalTrials trials;
  for (int round = 0; round < 300; ++round) {
    double limit = std::pow(10.0, -0.5 - 2.5 * (random() % 100) / 100.0);
    const Points line = randomLine(random, limit);
    deviations.resize(line.size());
    deviationStatistics(line.data(), line.size(), deviations.data());
    if (round % 3 == 1) limit = deviations[random() % (line.size() - 2)];
    if (round % 3 == 2 && line.size() > 3) {
      const _GeoLine<double> chord(line[0], line[3] - line[0]);
      const Point& q = line[1 + random() % 2];
      limit = (q - chord.project(q)).length();
    }
    if (round % 2 == 0) limit = std::nextafter(limit, 1.0);
    const double span = round % 5 == 0 ? 0.1 : 3.0;  // some chords reach it
    Points out(line.size());
    ChordalWork work;
    const std::size_t thinned = thinByChordalDeviation(
        line.data(), line.size(), limit, span, out.data(), work);
    trials.reset(line.data(), line.size(), span);
    const PlaneCoordinates plane = trials.plane();
    for (const bool crossed : {true, false}) {
      const std::size_t counted = countKeptOnShortSpans(
          line.data(), line.size(), limit, span, deviations.data(), 4,
          crossed && plane.a != nullptr ? &plane : nullptr);
      EXPECT_TRUE(counted == 0 || counted == thinned) << "round " << round;
    }
  }
}

// Both passes, two lanes and (where the processor has AVX2) four, now and
// then with a point that is not finite or with weights edited through
// settings text; also the points written before an exception.
TEST(FilterExactness, AverageMatchesTheStepByStepPass) {
  std::mt19937 random(99);
  std::uniform_real_distribution<double> exponent(-2.0, 1.0);
  for (int round = 0; round < 300; ++round) {
    const double scale = std::pow(10.0, exponent(random));
    Points line = randomLine(random, scale);
    if (round % 6 == 0) {
      line[random() % line.size()] =
          Point(0.0, round % 12 ? std::nan("") : HUGE_VAL, 0.0);
    }
    // Settings text may also hold sizes the constructor refuses (even ones,
    // 0) and windows wider than the pass keeps proximities for.
    const int textSizes[] = {0, 2, 6, 131, 200};
    const bool edited = round % 7 == 0;
    const int n = edited ? textSizes[round / 7 % 5]
                         : 1 + 2 * static_cast<int>(random() % 10);
    double r = scale * (round % 3 == 0 ? 0.3 : 20.0);
    if (edited) r = (std::floor(r * 64.0) + 1.0) / 64.0;  // exact text
    ScanAverageFilter filter(edited ? 1 : n, r);
    std::vector<int> weights(static_cast<std::size_t>(n));
    if (!edited) weights = test::weightsOf(filter);
    if (edited) {
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
    Points expected;
    const Outcome want = outcomeOf([&] {
      reference::averageInto(line, n, r, weights, expected);
      return expected;
    });
    for (const bool wide : {false, averageWideSupported()}) {
      ScanLine got = test::makeLine(line);
      const Outcome outcome = outcomeOf([&] {
        AverageFilterAccess::filterPass(filter, &got, wide);
        return test::positionsOf(got);
      });
      EXPECT_EQ(outcome.error, want.error) << "round " << round << wide;
      EXPECT_TRUE(test::sameBits(test::positionsOf(got), expected))
          << "round " << round << wide;
    }
  }
}

}  // namespace
}  // namespace QUAX
