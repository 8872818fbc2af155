// SPDX-License-Identifier: MIT
// Stitching two overlapping sweeps of N points each (adding both surfaces
// and three iterations), with the nearest-point grid and, on the smaller
// sizes, with the pass over every point that the grid replaces; and the
// rigid stitch of two sheets of a million points each, with its error at
// the points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSurface.h"
#include "scan/stitch/ScanStitchTool.h"

namespace {

using QUAX::ScanStitchTool;
using QUAX::ScanSurface;

constexpr double kSpacing = 0.1;
constexpr double kTolerance = 0.3;

class EveryPointStitchTool : public ScanStitchTool {
 public:
  explicit EveryPointStitchTool(double tolerance) : ScanStitchTool(tolerance) {
    setEveryPointSearch(true);
  }
};

// A wavy part swept in lines of `perLine` points, starting at (x0, y0).
std::unique_ptr<ScanSurface> sweep(int frames, int perLine, double x0,
                                   double y0, double lift) {
  auto surface = std::make_unique<ScanSurface>();
  for (int i = 0; i < frames; ++i) {
    auto line = std::make_unique<QUAX::ScanLine>();
    line->getPoints().reserveBlock(static_cast<std::size_t>(perLine));
    const double y = y0 + i * kSpacing;
    for (int j = 0; j < perLine; ++j) {
      const double x = x0 + j * kSpacing;
      line->getPoint(static_cast<std::size_t>(j))
          ->setPosition(x, y,
                        2.0 * std::sin(x / 10.0) * std::cos(y / 13.0) + lift);
    }
    surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

struct Pair {
  std::unique_ptr<ScanSurface> first, second;
};

// Two sweeps of about `points` points each, the second shifted by a third
// of the width and lifted by 0.05. Built once per size.
Pair& pairOf(int points) {
  static std::map<int, Pair> pairs;
  auto it = pairs.find(points);
  if (it != pairs.end()) return it->second;
  const int frames = static_cast<int>(std::lround(std::sqrt(points)));
  const int perLine = points / frames;
  const double width = perLine * kSpacing;
  Pair pair{sweep(frames, perLine, 0.0, 0.0, 0.0),
            sweep(frames, perLine, width / 3.0, width / 5.0, 0.05)};
  return pairs.emplace(points, std::move(pair)).first->second;
}

template <class Tool>
void stitchPair(benchmark::State& state) {
  Pair& pair = pairOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Tool tool(kTolerance);
    tool.addSurfacePointer(pair.first.get(), true);
    tool.addSurfacePointer(pair.second.get(), true);
    tool.stitchSurfaces(3, ScanStitchTool::STITCH_TO_REFERENCE);
  }
  state.SetItemsProcessed(state.iterations() * 2 * state.range(0));
  state.counters["points"] = static_cast<double>(2 * state.range(0));
}

void BM_StitchWithGrid(benchmark::State& state) {
  stitchPair<ScanStitchTool>(state);
}
BENCHMARK(BM_StitchWithGrid)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every search walks all points of the surface: cost grows with samples
// times points, so it stays on the small sizes.
void BM_StitchWithEveryPointPass(benchmark::State& state) {
  stitchPair<EveryPointStitchTool>(state);
}
BENCHMARK(BM_StitchWithEveryPointPass)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

namespace {

// The rigid stitch on two sweeps of a cambered, twisted sheet with waves
// across and along, 1,000 frames x 1,000 points each (80 wide, frames 0.1
// apart), overlapping by 40 %, with a height noise of 0, 0.001 or 0.01 (the
// argument, in thousandths). The first sweep is put off by a rotation of
// 0.3 deg about z and 0.2 deg about x about the middle of the sheet and a
// shift of (-0.3, 0.2, -0.5), which STITCH_RIGID with tolerance 1.0 and 10
// iterations must undo. Reports the time and the RMS distance of the
// stitched points from where they belong.
constexpr int kSheetFrames = 1000;
constexpr int kSheetPoints = 1000;

double sheetHeight(double x, double y) {
  return 30.0 - 0.005 * x * x + 0.0012 * x * (y - 40.0) +
         0.5 * std::sin(y / 11.0) + 0.4 * std::sin(x / 7.0);
}

// A rotation of degX about x after degZ about z, about `middle`, then a
// shift.
QUAX::_MathMatrix<double> turnedAbout(double degZ, double degX,
                                      const QUAX::_MathVector<double>& middle,
                                      const QUAX::_MathVector<double>& shift) {
  constexpr double kDegree = 3.14159265358979323846 / 180.0;
  const double c = std::cos(degX * kDegree), s = std::sin(degX * kDegree);
  QUAX::_MathMatrix<double> m =
      QUAX::_MathMatrix<double>(1, 0, 0, 0, c, -s, 0, s, c, 0, 0, 0) *
      QUAX::_MathMatrix<double>::rotationZ(degZ * kDegree);
  m.setTranslation(middle - m.applyToPosition(middle) + shift);
  return m;
}

QUAX::_MathMatrix<double> sheetMisregistration() {
  return turnedAbout(0.3, 0.2, QUAX::_MathVector<double>(0.0, 80.0, 30.0),
                     QUAX::_MathVector<double>(-0.3, 0.2, -0.5));
}

// A sweep of kSheetFrames frames 0.1 apart from y0, each of kSheetPoints
// points at x = xOf(j) and height(x, y) plus noise of `sigma` (from `seed`);
// its points put off by `off` (the identity leaves them in place). `truth`
// gets where each point belongs.
template <class XOf, class Height>
std::unique_ptr<ScanSurface> sweepOf(double y0, XOf xOf, Height height,
                                     double sigma, unsigned seed,
                                     const QUAX::_MathMatrix<double>& off,
                                     std::vector<double>* truth) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, sigma);
  auto surface = std::make_unique<ScanSurface>();
  for (int i = 0; i < kSheetFrames; ++i) {
    auto line = std::make_unique<QUAX::ScanLine>();
    line->getPoints().reserveBlock(kSheetPoints);
    const double y = y0 + i * 0.1;
    for (int j = 0; j < kSheetPoints; ++j) {
      const double x = xOf(j);
      const QUAX::_MathVector<double> p(x, y, height(x, y) + noise(random));
      if (truth != nullptr) truth->insert(truth->end(), {p.x(), p.y(), p.z()});
      const QUAX::_MathVector<double> q = off.applyToPosition(p);
      line->getPoint(static_cast<std::size_t>(j))
          ->setPosition(q.x(), q.y(), q.z());
    }
    surface->appendFrame(std::make_unique<QUAX::ScanFrame>(std::move(line)));
  }
  surface->setComplete();
  return surface;
}

// The cambered sheet 80 wide.
std::unique_ptr<ScanSurface> sheetSweep(double y0, double sigma,
                                        const QUAX::_MathMatrix<double>& off,
                                        std::vector<double>* truth) {
  return sweepOf(
      y0, [](int j) { return -40.0 + 80.0 * j / (kSheetPoints - 1); },
      sheetHeight, sigma, 7, off, truth);
}

struct ErrorMeter {
  const std::vector<double>* truth;
  std::size_t next = 0;
  double sum = 0.0;
  void visit(QUAX::_ScanVisit<double>& v) {
    const QUAX::_GeoPoint<double>& p = v.currentPoint->position();
    const double dx = p.x() - (*truth)[next], dy = p.y() - (*truth)[next + 1],
                 dz = p.z() - (*truth)[next + 2];
    sum += dx * dx + dy * dy + dz * dz;
    next += 3;
  }
};

// The RMS distance of the surface's points from where they belong.
double rmsFromTruth(ScanSurface& surface, const std::vector<double>& truth) {
  ErrorMeter meter{&truth};
  QUAX::_ScanVisit<double> visit;
  surface.forEachPoint(ScanSurface::PointCallback(meter, &ErrorMeter::visit),
                       visit);
  return std::sqrt(meter.sum / static_cast<double>(truth.size() / 3));
}

// Argument: the standard deviation of the height noise, in thousandths.
void BM_StitchRigidSheets(benchmark::State& state) {
  const double sigma = static_cast<double>(state.range(0)) / 1000.0;
  const auto reference =
      sheetSweep(60.0, sigma, QUAX::_MathMatrix<double>(), nullptr);
  std::vector<double> truth;
  double rms = 0.0, before = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    truth.clear();
    auto moving = sheetSweep(0.0, sigma, sheetMisregistration(), &truth);
    if (before == 0.0) before = rmsFromTruth(*moving, truth);
    state.ResumeTiming();
    ScanStitchTool tool(1.0);
    tool.addSurfacePointer(moving.get(), true);
    tool.addSurfacePointer(reference.get(), true);
    tool.stitchSurfaces(10, ScanStitchTool::STITCH_RIGID);
    state.PauseTiming();
    rms = rmsFromTruth(*moving, truth);
    state.ResumeTiming();
  }
  state.counters["rms_error_before"] = before;
  state.counters["rms_error_at_points"] = rms;
  state.SetItemsProcessed(state.iterations() * 2 * kSheetFrames * kSheetPoints);
}
BENCHMARK(BM_StitchRigidSheets)
    ->Arg(0)
    ->Arg(1)
    ->Arg(10)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

namespace {

// Turns a rig with a few degrees of play gives: two sweeps of a gently
// curved sheet, 1,000 frames x 1,000 points 0.1 apart (100 x 100), the
// second starting half way along the first. The first is turned about z
// and about x about the middle of the overlap by the row's angles and
// shifted by (0.3, -0.2, 0.5) or, with the second argument 1, by
// (1.0, -1.0, 0.5); height noise 0.01. STITCH_RIGID with tolerance 1.0
// and 10 iterations must undo it. Reports the RMS distance of the stitched
// points from where they belong and whether the surface was registered.
struct Turn {
  double degZ, degX;
};
constexpr Turn kTurns[] = {{0.3, 0.2}, {1.0, 0.5}, {2.0, 1.0},
                           {5.0, 2.0}, {10.0, 3.0}, {15.0, 5.0}};

double gentleSheet(double x, double y) {
  return 20.0 - 0.003 * x * x + 0.001 * x * (y - 75.0) +
         0.5 * std::sin(y / 11.0) + 0.4 * std::sin(x / 7.0);
}

std::unique_ptr<ScanSurface> gentleSweep(double y0,
                                         const QUAX::_MathMatrix<double>& off,
                                         std::vector<double>* truth) {
  return sweepOf(
      y0, [](int j) { return -50.0 + 0.1 * j; }, gentleSheet, 0.01,
      static_cast<unsigned>(y0) + 3, off, truth);
}

QUAX::_MathMatrix<double> turnOff(const Turn& turn, bool largeShift) {
  return turnedAbout(turn.degZ, turn.degX,
                     QUAX::_MathVector<double>(0.0, 75.0, 20.0),
                     largeShift ? QUAX::_MathVector<double>(1.0, -1.0, 0.5)
                                : QUAX::_MathVector<double>(0.3, -0.2, 0.5));
}

// Arguments: the row of kTurns, and 1 for the larger shift.
void BM_StitchRigidTurns(benchmark::State& state) {
  static const auto reference =
      gentleSweep(50.0, QUAX::_MathMatrix<double>(), nullptr);
  const QUAX::_MathMatrix<double> off =
      turnOff(kTurns[state.range(0)], state.range(1) != 0);
  std::vector<double> truth;
  double rms = 0.0, before = 0.0, registered = 0.0, iterations = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    truth.clear();
    auto moving = gentleSweep(0.0, off, &truth);
    before = rmsFromTruth(*moving, truth);
    state.ResumeTiming();
    ScanStitchTool tool(1.0);
    tool.addSurfacePointer(moving.get(), true);
    tool.addSurfacePointer(reference.get(), true);
    tool.stitchSurfaces(10, ScanStitchTool::STITCH_RIGID);
    state.PauseTiming();
    const ScanStitchTool::RigidSurfaceReport r = tool.getRigidReport().at(0);
    registered = r.status == ScanStitchTool::RIGID_REGISTERED ? 1.0 : 0.0;
    iterations = r.iterations;
    rms = rmsFromTruth(*moving, truth);
    state.ResumeTiming();
  }
  state.counters["rms_error_before"] = before;
  state.counters["rms_error_at_points"] = rms;
  state.counters["registered"] = registered;
  state.counters["fits"] = iterations;
  state.SetItemsProcessed(state.iterations() * 2'000'000);
}
BENCHMARK(BM_StitchRigidTurns)
    ->ArgsProduct({{0, 2, 3, 5}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
