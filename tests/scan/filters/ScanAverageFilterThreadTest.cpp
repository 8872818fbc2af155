// SPDX-License-Identifier: MIT
// One average filter shared by threads that filter sets of their own.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "FilterTestSupport.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/model/ScanSet.h"

namespace QUAX {
namespace {

using test::Points;

// Lines of different lengths, so that each thread's buffers grow and shrink
// in its own order: thread t starts at line t.
TEST(ScanAverageFilter, SharedFilterGivesEachThreadTheSingleThreadResult) {
  std::vector<Points> lines, expected;
  const ScanAverageFilter filter(7, 500.0);
  for (std::uint32_t i = 0; i < 12; ++i) {
    lines.push_back(test::noisyProfile(50 + 37 * i, i, 0.1));
    expected.push_back(test::filtered(filter, lines.back()));
  }
  constexpr std::size_t kThreads = 4;
  std::vector<std::unique_ptr<ScanSet>> sets;
  std::vector<std::future<void>> runs;
  for (std::size_t t = 0; t < kThreads; ++t) {
    auto surface = std::make_unique<ScanSurface>();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      surface->appendFrame(
          std::make_unique<ScanFrame>(std::make_unique<ScanLine>(
              test::makeLine(lines[(t + i) % lines.size()]))));
    }
    surface->setComplete();
    sets.push_back(std::make_unique<ScanSet>());
    sets.back()->addSurface(std::move(surface));
  }
  for (auto& set : sets) {
    runs.push_back(std::async(std::launch::async,
                              [&filter, &set] { filter.applyFilter(*set); }));
  }
  for (auto& run : runs) {
    ASSERT_EQ(run.wait_for(std::chrono::seconds(60)),
              std::future_status::ready);
    run.get();
  }
  for (std::size_t t = 0; t < kThreads; ++t) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_TRUE(test::sameBits(
          test::positionsOf(
              *sets[t]->getSurface(0)->getFrame(i)->getScanLine()),
          expected[(t + i) % lines.size()]))
          << t << " " << i;
    }
  }
}

}  // namespace
}  // namespace QUAX
