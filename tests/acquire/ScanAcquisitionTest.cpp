// SPDX-License-Identifier: MIT
// The acquisition thread fills surfaces from a source while readers wait for
// frames: what readers see is what the source made, in order, split into
// surfaces; a source that fails mid-run or refuses its settings loses
// nothing already acquired and leaves no reader waiting. Every wait is
// bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "acquire/AcquireErrors.h"
#include "acquire/LiveFilters.h"
#include "acquire/ScanAcquisition.h"
#include "acquire/SimulatedScanner.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/model/ScanPointPool.h"

namespace QUAX {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kBound{20000};

ScannerSettings smallScanner() {
  ScannerSettings s;
  s.pointsPerLine = 40;
  s.dropoutRate = 0.3;
  s.seed = 7;
  return s;
}

// The x and z of a line's points, in order.
std::vector<double> xzOf(const ScanLine& line) {
  std::vector<double> xz;
  for (std::size_t j = 0; j < line.getPointCount(); ++j) {
    xz.push_back(line.getPoint(j)->position().x());
    xz.push_back(line.getPoint(j)->position().z());
  }
  return xz;
}

// Reads every frame of every surface as it arrives, with getFrame's own
// waiting, and returns the lines' x and z in order; `beforeReading(k)` runs
// once the k-th frame (from 1) is there and before its line is read.
template <class BeforeReading>
std::vector<std::vector<double>> readLive(ScanAcquisition& run,
                                          BeforeReading beforeReading) {
  std::vector<std::vector<double>> lines;
  for (std::size_t s = 0;; ++s) {
    ScanSurface* surface = run.surface(s, kBound);
    if (surface == nullptr) break;
    for (std::size_t i = 0;; ++i) {
      ScanFrame* frame = nullptr;
      try {
        frame = surface->getFrame(i, kBound);
      } catch (const EScanSurfaceRangeException&) {
        break;
      }
      EXPECT_NE(frame->getDataState(), 0u);
      beforeReading(lines.size() + 1);
      lines.push_back(xzOf(*frame->getScanLine()));
    }
  }
  return lines;
}

// The lines a reader saw are the reference scanner's profiles, each passed
// through `filters` in turn.
void expectProfiles(const std::vector<std::vector<double>>& seen,
                    const ScannerSettings& settings,
                    const std::vector<const ScanLineFilter*>& filters) {
  SimulatedScanner reference(settings);
  for (std::size_t k = 0; k < seen.size(); ++k) {
    const auto line = reference.profile(k);
    for (const ScanLineFilter* filter : filters)
      filterScanLine(*filter, line.get());
    ASSERT_EQ(seen[k], xzOf(*line)) << k;
  }
}

TEST(ScanAcquisition, ReadersSeeTheSourcesProfilesInOrderAcrossSurfaces) {
  struct Case {
    std::uint64_t profiles;
    std::size_t perSurface;
    double lineRate;
  };
  for (const Case c : {Case{0, 7, 0.0}, Case{50, 7, 0.0}, Case{21, 7, 0.0},
                       Case{30, 0, 2000.0}, Case{1, 1, 0.0}}) {
    SCOPED_TRACE(testing::Message() << c.profiles << " per " << c.perSurface);
    ScannerSettings settings = smallScanner();
    settings.lineRate = c.lineRate;
    SimulatedScanner source(settings);
    AcquisitionSettings run;
    run.profiles = c.profiles == 0 ? 300 : c.profiles;
    run.framesPerSurface = c.perSurface;
    ScanAcquisition acquisition(source, run);
    const auto seen = readLive(acquisition, [](std::size_t) {});
    ASSERT_TRUE(acquisition.wait(kBound));
    const AcquisitionRecord record = acquisition.wait();

    // The reference: the same scanner's profiles made one by one.
    ASSERT_EQ(seen.size(), run.profiles);
    expectProfiles(seen, settings, {});
    EXPECT_EQ(record.received, run.profiles);
    EXPECT_EQ(record.lost, 0u);
    EXPECT_TRUE(record.failure.empty());
    const std::size_t per = c.perSurface == 0 ? run.profiles : c.perSurface;
    const auto set = acquisition.takeSet();
    EXPECT_EQ(set->getSurfaceCount(), (run.profiles + per - 1) / per);
    for (std::size_t s = 0; s < set->getSurfaceCount(); ++s)
      EXPECT_TRUE(set->getSurface(s)->isComplete());
  }
}

// Delivers `good` frames, then fails in the way asked.
class FailingSource : public ScanSource {
 public:
  enum class How { kThrowsInStart, kEndsWithFailure, kThrowsInNext };
  FailingSource(How how, int good) : _how(how), _good(good) {}
  void start() override {
    if (_how == How::kThrowsInStart)
      throw EAcquireBadSettings("region off the sensor");
  }
  bool next(std::vector<std::unique_ptr<ScanFrame>>& frames,
            milliseconds) override {
    if (_made == _good) {
      if (_how == How::kThrowsInNext) throw std::runtime_error("cable pulled");
      _failure = "camera went away";
      return false;
    }
    ++_made;
    auto frame = std::make_unique<ScanFrame>(std::make_unique<ScanLine>());
    frame->getSyncObject()->setDataState(1);
    frames.push_back(std::move(frame));
    return true;
  }
  void stop() override { ++stops; }
  AcquisitionRecord record() const override {
    AcquisitionRecord r;
    r.failure = _failure;
    return r;
  }
  int stops = 0;

 private:
  How _how;
  int _good, _made = 0;
  std::string _failure;
};

TEST(ScanAcquisition, KeepsWhatCameBeforeAFailureAndWakesReaders) {
  for (auto how : {FailingSource::How::kEndsWithFailure,
                   FailingSource::How::kThrowsInNext}) {
    FailingSource source(how, 5);
    AcquisitionSettings settings;
    settings.framesPerSurface = 3;
    ScanAcquisition acquisition(source, settings);
    // A reader waiting for a frame that never comes is told so at once,
    // not after its bound.
    ScanSurface* second = acquisition.surface(1, kBound);
    ASSERT_NE(second, nullptr);
    EXPECT_THROW(second->getFrame(2, kBound), EScanSurfaceRangeException);
    ASSERT_TRUE(acquisition.wait(kBound));
    const AcquisitionRecord record = acquisition.wait();
    EXPECT_EQ(record.received, 5u);
    EXPECT_EQ(record.failure, how == FailingSource::How::kThrowsInNext
                                  ? "cable pulled"
                                  : "camera went away");
    EXPECT_EQ(source.stops, 1);
    EXPECT_EQ(acquisition.surface(2, milliseconds(0)), nullptr);
    EXPECT_EQ(acquisition.takeSet()->getSurfaceCount(), 2u);
  }
  FailingSource refusing(FailingSource::How::kThrowsInStart, 0);
  EXPECT_THROW(ScanAcquisition(refusing, AcquisitionSettings{}),
               EAcquireBadSettings);
}

TEST(ScanAcquisition, StopsOnRequestAndAfterItsTime) {
  ScannerSettings paced = smallScanner();
  paced.lineRate = 500.0;
  {
    SimulatedScanner source(paced);
    ScanAcquisition acquisition(source, AcquisitionSettings{});
    ASSERT_NE(acquisition.surface(0, kBound), nullptr);
    acquisition.stop();
    ASSERT_TRUE(acquisition.wait(kBound));
    EXPECT_TRUE(acquisition.surface(0)->isComplete());
  }
  SimulatedScanner source(paced);
  AcquisitionSettings timed;
  timed.seconds = 0.05;
  ScanAcquisition acquisition(source, timed);
  ASSERT_TRUE(acquisition.wait(kBound));
  const AcquisitionRecord record = acquisition.record();
  // Never more than the line rate allows (one profile is due at the start).
  EXPECT_LE(record.received, 1 + static_cast<std::uint64_t>(
                                     500.0 * (record.seconds + 0.001)));
  EXPECT_TRUE(record.failure.empty());
}

// The simulated scanner's profiles with their points carved from a pool of
// small chunks, as the camera source makes its lines: a chunk goes back once
// the filters have moved every line carved from it into memory of its own,
// and the next lines are carved from fresh or reused memory meanwhile.
class PooledSource : public ScanSource {
 public:
  explicit PooledSource(const ScannerSettings& settings) : _inner(settings) {}
  void start() override { _inner.start(); }
  bool next(std::vector<std::unique_ptr<ScanFrame>>& frames,
            milliseconds timeout) override {
    std::vector<std::unique_ptr<ScanFrame>> made;
    const bool more = _inner.next(made, timeout);
    for (auto& frame : made) {
      const ScanLine& from = *frame->getScanLine();
      auto line = std::make_unique<ScanLine>();
      std::size_t i = 0;
      line->getPoints().makeBlock(
          from.getPointCount(),
          [&] { return from.getPoint(i++)->position(); }, &_pool);
      auto pooled = std::make_unique<ScanFrame>(std::move(line));
      pooled->getSyncObject()->setDataState(1);
      frames.push_back(std::move(pooled));
    }
    return more;
  }
  void stop() override { _inner.stop(); }
  AcquisitionRecord record() const override { return _inner.record(); }

 private:
  SimulatedScanner _inner;
  ScanPointPool _pool{std::size_t(64) << 10};
};

// Live filters on 1 to 3 threads: a reader that waits for each frame's turn
// sees exactly the source's profiles filtered once by the chain, in order,
// whichever thread filtered them; every frame is filtered by the end, and
// every line is still what the reader saw after the run (the memory of the
// points the filters dropped went back to the source while readers held
// earlier lines).
TEST(LiveFilters, ReadersSeeEachProfileFilteredOnceInOrder) {
  const ScanAverageFilter average(5, 1.0);
  const ScanChordalDeviationFilter chordal(0.05, 5.0);
  struct Case {
    unsigned threads;
    std::size_t perSurface;
    bool pooled;
  };
  for (const Case c : {Case{1, 7, false}, Case{2, 7, true}, Case{3, 0, false},
                       Case{2, 1, false}, Case{1, 0, true}}) {
    SCOPED_TRACE(testing::Message() << c.threads << " threads, pooled "
                                    << c.pooled);
    ScannerSettings settings = smallScanner();
    if (c.pooled) settings.pointsPerLine = 200;  // 5 lines to a chunk
    SimulatedScanner plain(settings);
    PooledSource pooled(settings);
    ScanSource& source = c.pooled ? static_cast<ScanSource&>(pooled) : plain;
    AcquisitionSettings run;
    run.profiles = 120;
    run.framesPerSurface = c.perSurface;
    ScanAcquisition acquisition(source, run);
    LiveFilters filters(acquisition, {&average, &chordal}, c.threads);
    const auto seen = readLive(acquisition, [&](std::size_t k) {
      ASSERT_TRUE(filters.waitFiltered(k, kBound));
    });
    ASSERT_EQ(seen.size(), run.profiles);
    ASSERT_TRUE(filters.wait(kBound));
    EXPECT_EQ(filters.filtered(), run.profiles);
    EXPECT_TRUE(filters.failure().empty());
    expectProfiles(seen, settings, {&average, &chordal});
    const auto set = acquisition.takeSet();
    std::size_t k = 0;
    for (std::size_t s = 0; s < set->getSurfaceCount(); ++s) {
      ScanSurface& surface = *set->getSurface(s);
      for (std::size_t i = 0; i < surface.getFrameCount(); ++i, ++k)
        ASSERT_EQ(xzOf(*surface.getFrame(i)->getScanLine()), seen[k]) << k;
    }
  }
}

// Stopped mid-run, the threads end after their frames; what they filtered
// is still a prefix of the run.
TEST(LiveFilters, StopEndsTheThreadsWhileTheRunGoesOn) {
  const ScanAverageFilter average(5, 1.0);
  ScannerSettings paced = smallScanner();
  paced.lineRate = 2000.0;
  SimulatedScanner source(paced);
  ScanAcquisition acquisition(source, AcquisitionSettings{});
  LiveFilters filters(acquisition, {&average}, 2);
  ASSERT_TRUE(filters.waitFiltered(3, kBound));
  filters.stop();
  ASSERT_TRUE(filters.wait(kBound));
  EXPECT_FALSE(acquisition.finished());
  // Frames are counted as received only after their append, so the
  // surface's count bounds what can have been filtered.
  const std::uint64_t filtered = filters.filtered();
  EXPECT_LE(filtered, acquisition.surface(0)->getFrameCount());
  EXPECT_GE(filtered, 3u);
}

}  // namespace
}  // namespace QUAX
