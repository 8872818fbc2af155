// SPDX-License-Identifier: MIT
// The rigid stitch: recovery of known rigid moves, refusals, what it records
// and reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "scan/model/ScanTransformHistory.h"
#include "scan/stitch/ScanStitchTool.h"
#include "tests/scan/stitch/StitchTestSurfaces.h"
#include "geomath/MathErrors.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using stitch_test::positions;
using stitch_test::sweep;
using Positions = std::vector<_GeoPoint<double>>;
using Report = ScanStitchTool::RigidSurfaceReport;

constexpr double kPi = 3.14159265358979323846;

// Curved both ways, so that every in-plane move changes the distances.
struct Sheet {
  double operator()(double x, double y) const {
    return 0.03 * x * x - 0.02 * y * y + 0.4 * std::sin(0.5 * x + 0.3 * y);
  }
};

// A gently curved sheet 50 wide, as a rig sweeps a part (a 100-wide one
// scaled by a half).
struct GentleSheet {
  double operator()(double x, double y) const {
    const double u = 2.0 * x, v = 2.0 * y;
    return 0.5 * (20.0 - 0.003 * u * u + 0.001 * u * (v - 75.0) +
                  0.5 * std::sin(v / 11.0) + 0.4 * std::sin(u / 7.0));
  }
};

// Rotation by `degZ` about z, then `degX` about x, about `centre`, then a
// shift.
_MathMatrix<double> rigidMove(double degZ, double degX,
                              const _MathVector<double>& shift,
                              const _MathVector<double>& centre = {0.0, -1.0,
                                                                   0.0}) {
  const double a = degZ * kPi / 180.0, b = degX * kPi / 180.0;
  const _MathMatrix<double> turn =
      _MathMatrix<double>(1, 0, 0, 0, std::cos(b), -std::sin(b), 0, std::sin(b),
                          std::cos(b), 0, 0, 0) *
      _MathMatrix<double>::rotationZ(a);
  _MathMatrix<double> m = turn;
  m.setTranslation(centre - turn.applyToPosition(centre) + shift);
  return m;
}

// Moves every point by `f` without recording anything.
template <class F>
void movePoints(ScanSurface& surface, F f) {
  struct Mover {
    F f;
    void visit(_ScanVisit<double>& v) {
      const _MathVector<double> p = f(v.currentPoint->position().toVector());
      v.currentPoint->setPosition(p.x(), p.y(), p.z());
    }
  } mover{f};
  _ScanVisit<double> visit;
  surface.forEachPoint(ScanSurface::PointCallback(mover, &Mover::visit), visit);
}

void misregister(ScanSurface& surface, const _MathMatrix<double>& m) {
  movePoints(surface, [&m](const _MathVector<double>& p) {
    return m.applyToPosition(p);
  });
}

double rmsDistance(const Positions& a, const Positions& b) {
  double sum = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const _MathVector<double> d = a[i] - b[i];
    sum += d.x() * d.x() + d.y() * d.y() + d.z() * d.z();
  }
  return std::sqrt(sum / static_cast<double>(a.size()));
}

// Two sweeps of the sheet overlapping on y in [-5, 3), heights with normal
// noise of `sigma`; `truth` holds the earlier one before it is put off.
// Wide ones are two sweeps of the gentle sheet, 100 x 100 points 0.5 apart,
// the second starting half way along the first: a turn of a few degrees
// moves their far points by several times a tolerance of one spacing.
struct SweepPair {
  explicit SweepPair(double sigma = 0.0, bool wide = false) {
    if (wide) {
      moving = sweep(100, 100, -25.0, 0.0, 0.5, GentleSheet{});
      reference = sweep(100, 100, -25.0, 25.0, 0.5, GentleSheet{});
    }
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, sigma > 0.0 ? sigma : 1.0);
    for (ScanSurface* s : {moving.get(), reference.get()}) {
      if (sigma == 0.0) break;
      movePoints(*s, [&](const _MathVector<double>& p) {
        return p + _MathVector<double>(0.0, 0.0, noise(random));
      });
    }
    truth = positions(*moving);
  }
  std::unique_ptr<ScanSurface> moving =
      sweep(60, 81, -10.0, -12.0, 0.25, Sheet{});
  std::unique_ptr<ScanSurface> reference =
      sweep(60, 81, -10.0, -5.0, 0.25, Sheet{});
  Positions truth;
};

// Stitches a onto b rigidly; returns the progress reported.
std::vector<int> stitchRigid(ScanStitchTool& tool, ScanSurface& a,
                             ScanSurface& b, int iterations = 20) {
  tool.addSurfacePointer(&a, true);
  tool.addSurfacePointer(&b, true);
  return stitch_test::progressOf(tool, iterations,
                                 ScanStitchTool::STITCH_RIGID);
}

_MathMatrix<double> lastRecorded(ScanSurface& surface) {
  return static_cast<ScanTransformHistory<double>*>(
             surface
                 .findItem(
                     ScanTransformHistory<double>::getScanTransformHistoryKey())
                 .getBody())
      ->getLastTransform();
}

TEST(RigidStitch, RecoversKnownRigidMovesRecordsAndReportsThem) {
  struct Case {
    const char* name;
    double degZ, degX;
    _MathVector<double> shift;
    double noise;
    // Wide sweeps with a tolerance of one spacing (0.5); and whether the
    // tool is told roughly where the surface belongs (the move undone but
    // for 1 deg about z and a shift of 0.3).
    bool wide;
    bool roughStart;
  };
  const _MathVector<double> small(0.15, -0.1, 0.25), large(0.5, -0.5, 0.25);
  const Case cases[] = {
      {"translation", 0.0, 0.0, {0.3, -0.2, 0.5}, 0.0, false, false},
      {"rotation", 1.5, -1.0, {0.0, 0.0, 0.0}, 0.0, false, false},
      {"both", 0.8, 0.6, {-0.25, 0.3, -0.4}, 0.0, false, false},
      {"noisy", 0.3, 0.2, {0.3, -0.2, 0.5}, 0.01, false, false},
      // Turns whose far points start beyond the tolerance.
      {"wide 2/1", 2.0, 1.0, small, 0.005, true, false},
      {"wide 5/2", 5.0, 2.0, small, 0.005, true, false},
      {"wide 10/3", 10.0, 3.0, small, 0.005, true, false},
      {"wide 15/5", 15.0, 5.0, small, 0.005, true, false},
      {"wide 2/1 far", 2.0, 1.0, large, 0.005, true, false},
      {"wide 15/5 far", 15.0, 5.0, large, 0.005, true, false},
      {"wide 90/20 from a rough start", 90.0, 20.0, large, 0.005, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SweepPair pair(c.noise, c.wide);
    const _MathMatrix<double> off =
        c.wide ? rigidMove(c.degZ, c.degX, c.shift, {0.0, 37.5, 10.0})
               : rigidMove(c.degZ, c.degX, c.shift);
    misregister(*pair.moving, off);
    const Positions reference = positions(*pair.reference);
    const Positions before = positions(*pair.moving);

    ScanStitchTool tool(c.wide ? 0.5 : 1.0);
    if (c.roughStart) {
      const _MathMatrix<double> rough =
          rigidMove(1.0, 0.0, {0.3, 0.0, 0.0}, {0.0, 37.5, 10.0}) *
          off.inverse();
      tool.addSurfacePointer(pair.moving.get(), true, rough);
    }
    const std::vector<int> percents =
        c.roughStart ? (tool.addSurfacePointer(pair.reference.get(), true),
                        stitch_test::progressOf(tool, 10,
                                                ScanStitchTool::STITCH_RIGID))
                     : stitchRigid(tool, *pair.moving, *pair.reference, 10);
    const std::vector<Report> report = tool.getRigidReport();
    ASSERT_EQ(report.size(), 2u);
    EXPECT_EQ(report[0].status, ScanStitchTool::RIGID_REGISTERED);
    // Sheets sampled every 0.25 come back within a hundredth of the spacing
    // (noisy ones within half the noise: it averages out of the fit); the
    // wide ones within a fiftieth of theirs, what patches of seven points
    // across that gentle sheet's waves allow.
    EXPECT_LT(rmsDistance(positions(*pair.moving), pair.truth),
              c.wide ? 0.01 : std::max(0.0025, 0.5 * c.noise));
    // What is left is the sampling of the curved sheet and the noise.
    EXPECT_LT(report[0].rmsAfter, 0.1 * report[0].rmsBefore);
    EXPECT_LT(report[0].rmsAfter, std::max(0.01, 2.0 * c.noise));
    EXPECT_EQ(report[0].rmsPerIteration.size(),
              static_cast<std::size_t>(report[0].iterations) + 1);
    EXPECT_TRUE(report[0].converged || c.noise > 0.0);
    // The reference stays, and the move is what the history holds.
    EXPECT_EQ(report[1].status, ScanStitchTool::RIGID_REFERENCE);
    EXPECT_EQ(positions(*pair.reference), reference);
    EXPECT_EQ(lastRecorded(*pair.moving), report[0].transform);
    // The fitted move undoes the known one.
    const _MathVector<double> corner =
        c.wide ? _MathVector<double>(20.0, 45.0, 10.0)
               : _MathVector<double>(10.0, 3.0, 0.0);
    const _MathVector<double> far =
        (report[0].transform * off).applyToPosition(corner);
    EXPECT_LT((far - corner).length(), 0.015);
    // Progress climbs to 100, one step per iteration (and a last one when
    // it converged early).
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.size(), static_cast<std::size_t>(report[0].iterations) +
                                   (report[0].iterations < 10 ? 1u : 0u));
    // A host undoes the move through the history.
    pair.moving->transform(lastRecorded(*pair.moving).inverse());
    EXPECT_LT(rmsDistance(positions(*pair.moving), before), 1e-12);
    // A later literal stitch clears the report.
    tool.stitchSurfaces(1, ScanStitchTool::STITCH_TO_REFERENCE);
    EXPECT_TRUE(tool.getRigidReport().empty());
  }
  // The "both" sheets in metres (a thousandth of the size and tolerance)
  // come back as closely for their size.
  SweepPair pair;
  const auto toMetres = [](const _MathVector<double>& p) { return p * 1e-3; };
  movePoints(*pair.moving, toMetres);
  movePoints(*pair.reference, toMetres);
  const Positions truth = positions(*pair.moving);
  misregister(*pair.moving, rigidMove(0.8, 0.6, {-0.25e-3, 0.3e-3, -0.4e-3},
                                      {0.0, -1e-3, 0.0}));
  ScanStitchTool tool(1e-3);
  stitchRigid(tool, *pair.moving, *pair.reference, 10);
  EXPECT_LT(rmsDistance(positions(*pair.moving), truth), 2.5e-6);
  // Flat sweeps already in place: the fit takes no turn and moves nothing.
  const auto flat = [](double, double) { return 2.0; };
  const auto lying = sweep(20, 20, 0.0, 0.0, 0.25, flat);
  const auto under = sweep(20, 20, 0.0, 2.0, 0.25, flat);
  const Positions lain = positions(*lying);
  ScanStitchTool idle(1.0);
  stitchRigid(idle, *lying, *under, 3);
  EXPECT_EQ(idle.getRigidReport()[0].status, ScanStitchTool::RIGID_REGISTERED);
  EXPECT_EQ(idle.getRigidReport()[0].transform, _MathMatrix<double>());
  EXPECT_EQ(positions(*lying), lain);
}

TEST(RigidStitch, StartingAtATransformIsMovingThePointsThereFirst) {
  // A surface stored half a turn about x or y (and shifted) and told the
  // turn back as its start comes out where the same surface stored in
  // place does: the fit runs from the same pose, only its first pose is
  // composed with the start. The half turns and shifts are exact in
  // floating point, so both runs see the same numbers (all but the last).
  const _MathMatrix<double> starts[] = {
      _MathMatrix<double>(1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 3, 20),
      _MathMatrix<double>(-1, 0, 0, 0, 1, 0, 0, 0, -1, -2, 0, 20),
      _MathMatrix<double>(-1, 0, 0, 0, -1, 0, 0, 0, 1, 0, 75, 0),
      // About (2, 1, 0): x and y mixed, to the last bits of 0.6 and 0.8.
      _MathMatrix<double>(0.6, 0.8, 0, 0.8, -0.6, 0, 0, 0, -1, 1, 2, 20),
  };
  // Turned about all three axes, so that every part of each step counts.
  const _MathMatrix<double> off =
      rigidMove(2.0, 1.0, {0.15, -0.1, 0.25}, {0.0, 37.5, 10.0}) *
      _MathMatrix<double>(std::cos(0.02), 0, std::sin(0.02), 0, 1, 0,
                          -std::sin(0.02), 0, std::cos(0.02), 0, 0, 0);
  SweepPair plain(0.005, true);
  misregister(*plain.moving, off);
  ScanStitchTool tool(0.5);
  stitchRigid(tool, *plain.moving, *plain.reference, 3);
  const Report expected = tool.getRigidReport()[0];
  for (const _MathMatrix<double>& start : starts) {
    SweepPair stored(0.005, true);
    misregister(*stored.moving, start.inverse() * off);
    ScanStitchTool started(0.5);
    started.addSurfacePointer(stored.moving.get(), true, start);
    started.addSurfacePointer(stored.reference.get(), true);
    started.stitchSurfaces(3, ScanStitchTool::STITCH_RIGID);
    const Report report = started.getRigidReport()[0];
    EXPECT_EQ(report.status, ScanStitchTool::RIGID_REGISTERED);
    EXPECT_EQ(report.pairsAfter, expected.pairsAfter);
    EXPECT_EQ(report.iterations, expected.iterations);
    EXPECT_LT(rmsDistance(positions(*stored.moving), positions(*plain.moving)),
              1e-9);
  }
  // Stitched again where it now belongs, it stays registered: the fit ends
  // within the noise of its start.
  ScanStitchTool again(0.5);
  stitchRigid(again, *plain.moving, *plain.reference, 3);
  EXPECT_EQ(again.getRigidReport()[0].status, ScanStitchTool::RIGID_REGISTERED);
}

TEST(RigidStitch, ToleratesGapsOutliersAndDegenerateLines) {
  SweepPair pair;
  // The reference loses runs of points, gets an empty and a one-point line,
  // a non-finite point and spikes in the overlap (within the tolerance).
  auto damaged = std::make_unique<ScanSurface>();
  for (std::size_t f = 0; f < pair.reference->getFrameCount(); ++f) {
    const ScanLine& line = *pair.reference->getFrame(f)->getScanLine();
    auto copy = std::make_unique<ScanLine>();
    for (std::size_t j = 0; j < line.getPointCount() && f != 10; ++j) {
      _GeoPoint<double> p = line.getPoint(j)->position();
      if (f % 7 == 3 && j > 20 && j < 35) continue;  // a lost run
      if (f == 11 && j > 0) break;                   // a one-point line
      if (f == 12 && j == 40) p = _GeoPoint<double>(std::nan(""), 0.0, 0.0);
      if ((f * 81 + j) % 23 == 0) p = p + _MathVector<double>(0, 0, 0.6);
      copy->appendPoint(p);
    }
    damaged->appendFrame(std::make_unique<ScanFrame>(std::move(copy)));
  }
  damaged->setComplete();
  misregister(*pair.moving, rigidMove(0.4, 0.3, {0.3, -0.2, 0.5}));

  ScanStitchTool tool(1.0);
  stitchRigid(tool, *pair.moving, *damaged);
  ASSERT_EQ(tool.getRigidReport().at(0).status,
            ScanStitchTool::RIGID_REGISTERED);
  EXPECT_LT(rmsDistance(positions(*pair.moving), pair.truth), 0.01);
}

TEST(RigidStitch, RefusesWhatItCannotRegisterAndLeavesItAlone) {
  // A corner that barely overlaps has too few points to pair; surfaces far
  // apart do not overlap at all. Neither moves nor gets a history.
  struct Case {
    const char* name;
    double x0, y0;
    int size;
    ScanStitchTool::RigidStatus status;
  };
  const Case cases[] = {
      {"corner", 9.6, 9.4, 3, ScanStitchTool::RIGID_TOO_FEW_PAIRS},
      {"apart", 60.0, 0.0, 10, ScanStitchTool::RIGID_REFERENCE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SweepPair pair;
    auto lone = sweep(c.size, c.size, c.x0, c.y0, 0.25, Sheet{});
    const Positions before = positions(*lone);
    ScanStitchTool tool(1.0);
    const std::vector<int> percents =
        stitchRigid(tool, *lone, *pair.reference, 4);
    const std::vector<Report> report = tool.getRigidReport();
    EXPECT_EQ(report[0].status, c.status);
    EXPECT_EQ(positions(*lone), before);
    EXPECT_EQ(report[0].transform, _MathMatrix<double>());
    EXPECT_THROW(
        lone->findItem(
            ScanTransformHistory<double>::getScanTransformHistoryKey()),
        EExtensionNotPresent);
    // Nothing to iterate on when nothing overlaps: progress just ends.
    if (c.status == ScanStitchTool::RIGID_REFERENCE) {
      EXPECT_EQ(percents, std::vector<int>{100});
    }
    EXPECT_EQ(percents.back(), 100);
  }
  // A turn far beyond what pairs within the tolerance can follow, with no
  // start given: refused, and left alone.
  {
    SweepPair pair(0.005, true);
    misregister(*pair.moving, rigidMove(90.0, 20.0, {0.5, -0.5, 0.25},
                                        {0.0, 37.5, 10.0}));
    const Positions before = positions(*pair.moving);
    ScanStitchTool tool(0.5);
    stitchRigid(tool, *pair.moving, *pair.reference, 10);
    EXPECT_EQ(tool.getRigidReport()[0].status,
              ScanStitchTool::RIGID_NOT_IMPROVED);
    EXPECT_EQ(positions(*pair.moving), before);
  }
  // One surface or no iterations: nothing done, nothing reported. A start
  // that is not a rigid transform (scaled, mirrored, not finite) is refused
  // and adds nothing.
  SweepPair pair;
  ScanStitchTool tool(1.0);
  for (const _MathMatrix<double>& bad :
       {_MathMatrix<double>(1.001, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0),
        _MathMatrix<double>(0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0),
        _MathMatrix<double>(1, 0, 0, 0, 1, 0, 0, 0, 1, 0, std::nan(""), 0)}) {
    EXPECT_THROW(tool.addSurfacePointer(pair.moving.get(), true, bad),
                 EMathSingularMatrix);
  }
  EXPECT_EQ(tool.getSurfaceCount(), 0u);
  tool.addSurfacePointer(pair.moving.get(), true);
  tool.stitchSurfaces(5, ScanStitchTool::STITCH_RIGID);
  EXPECT_TRUE(tool.getRigidReport().empty());
  tool.addSurfacePointer(pair.reference.get(), true);
  tool.stitchSurfaces(0, ScanStitchTool::STITCH_RIGID);
  EXPECT_TRUE(tool.getRigidReport().empty());
  EXPECT_EQ(positions(*pair.moving), pair.truth);
}

}  // namespace
}  // namespace QUAX
