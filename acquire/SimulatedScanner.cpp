// SPDX-License-Identifier: MIT
#include "acquire/SimulatedScanner.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>

#include "geomath/MathMatrix.h"
#include "acquire/AcquireErrors.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {

namespace {

constexpr double kHoleX = -14.0;
constexpr double kHoleY = 45.0;
constexpr double kHoleRadius = 5.0;

// The part's height along one profile at y: its sine depends on y alone and
// is taken once per profile rather than once per point.
struct Section {
  double y, wave;
  explicit Section(double at) : y(at), wave(0.5 * std::sin(at / 11.0)) {}
  double height(double x) const {
    const double camber = -0.005 * x * x;
    const double twist = 0.0012 * x * (y - 40.0);
    const double step =
        x > SimulatedScanner::kStepX ? SimulatedScanner::kStepHeight : 0.0;
    return 30.0 + camber + twist + wave + step;
  }
};

constexpr double kSlopeStep = 1e-3;

bool insideHole(double x, double y) {
  const double dx = x - kHoleX, dy = y - kHoleY;
  return dx * dx + dy * dy < kHoleRadius * kHoleRadius;
}

// Near-normal noise (mean 0, deviation 1, within 3.5) for the gray sums: the
// sum of the four 16-bit quarters of one splitmix64 step.
double grayNoise(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  z ^= z >> 31;
  const double sum = double(z & 0xffff) + double((z >> 16) & 0xffff) +
                     double((z >> 32) & 0xffff) + double(z >> 48);
  // Each quarter has mean 65535 / 2 and variance (65536^2 - 1) / 12.
  return (sum - 131070.0) * (1.7320508075688772 / 65536.0);
}

// The part's slope, for the gray sums: the laser line is brightest where the
// sheet faces the camera. `ahead` and `behind` are the sections a slope
// step after and before `here`.
double facing(double x, const Section& here, const Section& ahead,
              const Section& behind) {
  const double h = kSlopeStep;
  const double dx = (here.height(x + h) - here.height(x - h)) / (2 * h);
  const double dy = (ahead.height(x) - behind.height(x)) / (2 * h);
  return 1.0 / std::sqrt(1.0 + dx * dx + dy * dy);
}

}  // namespace

SimulatedScanner::SimulatedScanner(const ScannerSettings& settings)
    : _settings(settings),
      _random(settings.seed),
      _grayState(settings.seed ^ 0x9e3779b9u) {}

double SimulatedScanner::partHeight(double x, double y) {
  return Section(y).height(x);
}

bool SimulatedScanner::inHole(double x, double y) { return insideHole(x, y); }

std::unique_ptr<ScanLine> SimulatedScanner::profileAt(
    double y, const _MathVector<double>& error) {
  const std::size_t n = std::max<std::size_t>(_settings.pointsPerLine, 2);
  // A dropout loses a run of points; drawn first so that the noise of the
  // points does not depend on it.
  std::size_t lostFirst = n, lostLast = n;
  if (_settings.dropoutRate > 0 && std::uniform_real_distribution<double>(
                                       0, 1)(_random) < _settings.dropoutRate) {
    lostFirst = std::uniform_int_distribution<std::size_t>(0, n - 1)(_random);
    lostLast = std::min(
        n,
        lostFirst + std::uniform_int_distribution<std::size_t>(5, 40)(_random));
  }

  auto line = std::make_unique<ScanLine>();
  std::size_t kept = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const double x = -_settings.lineWidth / 2 +
                     _settings.lineWidth * double(j) / double(n - 1);
    if (!insideHole(x, y) && (j < lostFirst || j >= lostLast)) ++kept;
  }
  line->getPoints().reserveBlock(kept);
  if (_settings.graysum || _settings.pixels) {
    ScanPoint::createExtensionLists(line->getPoints().data(), kept);
  }

  const Section here(y), ahead(y + kSlopeStep), behind(y - kSlopeStep);
  std::size_t i = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const double x = -_settings.lineWidth / 2 +
                     _settings.lineWidth * double(j) / double(n - 1);
    const double noise = _settings.noise * _unit(_random);
    if (insideHole(x, y) || (j >= lostFirst && j < lostLast)) continue;
    const double z = here.height(x) + noise;
    ScanPoint* point = line->getPoint(i++);
    point->setPosition(x + error.x(), y + error.y(), z + error.z());
    if (!_settings.graysum && !_settings.pixels) continue;

    const double light = facing(x, here, ahead, behind);
    if (_settings.graysum) {
      // Dimmer on the step's edge, where the sheet turns away.
      const double edge = std::fabs(x - kStepX) < 0.6 ? 0.3 : 1.0;
      const double sum =
          2500.0 * light * edge * (1.0 + 0.05 * grayNoise(_grayState));
      point->emplaceItem<ScanPointGraysumData>()->setGraysum(
          static_cast<std::uint32_t>(std::max(0.0, sum)));
    }
    if (_settings.pixels) {
      // The camera row of the laser line and its width, which grows where
      // the light falls at a slant.
      const double row = std::max(0.0, (z - 10.0) * 20.0);
      const double half = 1.5 + 2.0 * (1.0 - light);
      auto* item = point->emplaceItem<ScanPointTPData>();
      item->setLowPixel(static_cast<std::uint32_t>(std::max(0.0, row - half)));
      item->setHighPixel(static_cast<std::uint32_t>(row + half));
    }
  }
  return line;
}

std::unique_ptr<ScanSurface> SimulatedScanner::sweep(
    std::size_t frames, double yStart, const _MathVector<double>& error) {
  auto surface = std::make_unique<ScanSurface>();
  for (std::size_t i = 0; i < frames; ++i) {
    auto frame = std::make_unique<ScanFrame>(
        profileAt(yStart + double(i) * _settings.frameSpacing, error));
    frame->getSyncObject()->setDataState(1);
    surface->appendFrame(std::move(frame));
  }
  surface->setComplete();
  return surface;
}

void SimulatedScanner::start() {
  if (!(_settings.lineRate >= 0.0)) {
    throw EAcquireBadSettings("simulated scanner: the line rate must not be "
                              "negative");
  }
  _delivered.store(0);
  _lastNs.store(0);
  _runStart = std::chrono::steady_clock::now();
}

bool SimulatedScanner::next(std::vector<std::unique_ptr<ScanFrame>>& frames,
                            std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  // At most this many profiles per call, so that a consumer sees them in
  // small batches as it would a camera's.
  constexpr std::uint64_t kBatch = 64;
  std::uint64_t k = _delivered.load();
  std::uint64_t end = k + kBatch;
  if (_settings.lineRate > 0.0) {
    const std::chrono::duration<double> period(1.0 / _settings.lineRate);
    auto dueOf = [&](std::uint64_t index) {
      return _runStart + std::chrono::duration_cast<Clock::duration>(
                             period * static_cast<double>(index));
    };
    const Clock::time_point due = dueOf(k);
    if (due > Clock::now()) {
      const Clock::time_point until = Clock::now() + timeout;
      std::this_thread::sleep_until(std::min(due, until));
      if (due > Clock::now()) return true;
    }
    const double elapsed =
        std::chrono::duration<double>(Clock::now() - _runStart).count();
    const auto dueCount = static_cast<std::uint64_t>(
        std::floor(elapsed * _settings.lineRate)) + 1;
    end = std::min(end, std::max(dueCount, k + 1));
  }
  for (; k < end; ++k) {
    auto frame =
        std::make_unique<ScanFrame>(profile(static_cast<std::size_t>(k)));
    frame->getSyncObject()->setDataState(1);
    frames.push_back(std::move(frame));
    _delivered.store(k + 1);
  }
  _lastNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                    Clock::now() - _runStart)
                    .count());
  return true;
}

void SimulatedScanner::stop() {}

AcquisitionRecord SimulatedScanner::record() const {
  AcquisitionRecord r;
  r.received = _delivered.load();
  r.seconds = static_cast<double>(_lastNs.load()) * 1e-9;
  return r;
}

void simulateScanFrames(
    const SimulationSettings& settings,
    const std::function<void(std::size_t, std::size_t,
                             std::unique_ptr<ScanFrame>)>& take) {
  SimulatedScanner scanner(settings.scanner);
  const double spacing = settings.scanner.frameSpacing;
  const double length = double(settings.framesPerSurface) * spacing;
  const double advance = length * (1.0 - settings.overlap);
  // The middle of the scanned sheet, about which sweeps are turned.
  const double middleY =
      (advance * double(settings.surfaces - 1) + length) / 2.0;
  const _MathVector<double> middle(
      0.0, middleY, SimulatedScanner::partHeight(0.0, middleY));
  for (std::size_t k = 0; k < settings.surfaces; ++k) {
    const double times = double(k);
    const _MathVector<double> error(settings.misregistration.x() * times,
                                    settings.misregistration.y() * times,
                                    settings.misregistration.z() * times);
    const bool turned =
        k > 0 && (settings.rotationZ != 0.0 || settings.rotationX != 0.0);
    constexpr double kDegree = 3.14159265358979323846 / 180.0;
    const double a = settings.rotationZ * times * kDegree;
    const double b = settings.rotationX * times * kDegree;
    const _MathMatrix<double> turn =
        _MathMatrix<double>(1, 0, 0, 0, std::cos(b), -std::sin(b), 0,
                            std::sin(b), std::cos(b), 0, 0, 0) *
        _MathMatrix<double>::rotationZ(a);
    for (std::size_t i = 0; i < settings.framesPerSurface; ++i) {
      auto line =
          scanner.profileAt(advance * times + double(i) * spacing, error);
      // Moved point by point: the error is the scanner's, not a transform
      // the data went through.
      for (std::size_t j = 0; turned && j < line->getPointCount(); ++j) {
        ScanPoint* point = line->getPoint(j);
        const _MathVector<double> p =
            turn.applyToPosition(point->position().toVector() - middle) +
            middle;
        point->setPosition(p.x(), p.y(), p.z());
      }
      auto frame = std::make_unique<ScanFrame>(std::move(line));
      frame->getSyncObject()->setDataState(1);
      take(k, i, std::move(frame));
    }
  }
}

std::unique_ptr<ScanSet> simulateScanSet(
    const SimulationSettings& settings) {
  auto set = std::make_unique<ScanSet>();
  std::vector<std::unique_ptr<ScanSurface>> surfaces(settings.surfaces);
  for (auto& surface : surfaces) surface = std::make_unique<ScanSurface>();
  simulateScanFrames(settings, [&](std::size_t k, std::size_t,
                                   std::unique_ptr<ScanFrame> frame) {
    surfaces[k]->appendFrame(std::move(frame));
  });
  for (auto& surface : surfaces) {
    surface->setComplete();
    set->addSurface(std::move(surface));
  }
  return set;
}

}  // namespace QUAX
