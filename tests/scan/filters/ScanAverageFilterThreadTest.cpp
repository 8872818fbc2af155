// SPDX-License-Identifier: MIT
// One average filter shared by threads that filter sets of their own.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "FilterTestSupport.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace {

using test::Points;

std::unique_ptr<ScanSet> setOf(const std::vector<Points>& lines) {
  auto surface = std::make_unique<ScanSurface>();
  for (const Points& points : lines) {
    surface->appendFrame(std::make_unique<ScanFrame>(
        std::make_unique<ScanLine>(test::makeLine(points))));
  }
  surface->setComplete();
  auto set = std::make_unique<ScanSet>();
  set->addSurface(std::move(surface));
  return set;
}

std::vector<Points> linesOf(const ScanSet& set) {
  std::vector<Points> lines;
  const ScanSurface* surface = set.getSurface(0);
  for (std::size_t i = 0; i < surface->getFrameCount(); ++i) {
    lines.push_back(test::positionsOf(*surface->getFrame(i)->getScanLine()));
  }
  return lines;
}

TEST(ScanAverageFilter, SharedFilterGivesEachThreadTheSingleThreadResult) {
  // Lines of different lengths, so that each thread's buffers grow and
  // shrink in its own order.
  std::vector<Points> lines;
  for (std::uint32_t i = 0; i < 12; ++i) {
    lines.push_back(test::noisyProfile(50 + 37 * i, i, 0.1));
  }
  const ScanAverageFilter filter(7, 500.0);
  auto expectedSet = setOf(lines);
  filter.applyFilter(*expectedSet);
  const std::vector<Points> expected = linesOf(*expectedSet);

  constexpr int kThreads = 4;
  std::vector<std::unique_ptr<ScanSet>> sets;
  std::vector<std::future<void>> runs;
  for (int t = 0; t < kThreads; ++t) {
    std::vector<Points> mine(lines.rbegin() + t, lines.rend());
    mine.insert(mine.end(), lines.rbegin(), lines.rbegin() + t);
    sets.push_back(setOf(mine));
  }
  for (int t = 0; t < kThreads; ++t) {
    ScanSet* set = sets[static_cast<std::size_t>(t)].get();
    runs.push_back(std::async(std::launch::async,
                              [&filter, set] { filter.applyFilter(*set); }));
  }
  for (auto& run : runs) {
    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)),
              std::future_status::ready);
    run.get();
  }
  for (int t = 0; t < kThreads; ++t) {
    std::vector<Points> got = linesOf(*sets[static_cast<std::size_t>(t)]);
    std::vector<Points> mine(expected.rbegin() + t, expected.rend());
    mine.insert(mine.end(), expected.rbegin(), expected.rbegin() + t);
    ASSERT_EQ(got.size(), mine.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(test::sameBits(got[i], mine[i])) << t << " " << i;
    }
  }
}

}  // namespace
}  // namespace QUAX
