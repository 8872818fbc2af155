// SPDX-License-Identifier: MIT
// One const filter filtering lines of two threads at once: each thread gets
// the single-thread result (and ThreadSanitizer sees no race).
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "FilterTestSupport.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"

namespace QUAX {
namespace {

using test::Points;

// Each line filtered alone, in order or backwards; refused lines stay.
template <class Filter>
std::vector<Points> filterAll(const Filter& filter,
                              const std::vector<Points>& lines,
                              bool backwards) {
  std::vector<Points> got(lines.size());
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::size_t i = backwards ? lines.size() - 1 - k : k;
    ScanLine line = test::makeLine(lines[i]);
    try {
      test::filterLine(filter, line);
    } catch (const EScanException&) {
    }
    got[i] = test::positionsOf(line);
  }
  return got;
}

TEST(SharedFilter, ConstFilterSharedByTwoThreadsGivesTheOneThreadResult) {
  std::vector<Points> lines;
  for (std::uint32_t i = 0; i < 16; ++i) {
    lines.push_back(test::noisyProfile(60 + 53 * i, i, 0.1));
  }
  auto check = [&lines](const auto& filter) {
    const std::vector<Points> expected = filterAll(filter, lines, false);
    auto first = std::async(std::launch::async,
                            [&] { return filterAll(filter, lines, false); });
    auto second = std::async(std::launch::async,
                             [&] { return filterAll(filter, lines, true); });
    ASSERT_EQ(first.wait_for(std::chrono::seconds(120)),
              std::future_status::ready);
    ASSERT_EQ(second.wait_for(std::chrono::seconds(120)),
              std::future_status::ready);
    for (const std::vector<Points>& got : {first.get(), second.get()}) {
      for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(test::sameBits(got[i], expected[i])) << i;
      }
    }
  };
  // Lines of different lengths, in opposite orders, and a small reserve:
  // each thread's buffers grow and shrink in an order of their own.
  check(ScanAverageFilter(7, 500.0));
  check(ScanChordalDeviationFilter(0.05, 2000.0, 10));
  check(ScanNPointFilter(20, ScanNPointFilter::CHORDAL_DEVIATION));
  check(ScanNPointFilter(20, ScanNPointFilter::EQUAL_ARC_LENGTH));
}

}  // namespace
}  // namespace QUAX
