// SPDX-License-Identifier: MIT
// The live pipeline: every frame appended is filtered once, over several
// surfaces (the last one short), with progress reported; bad settings are
// refused. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <stdexcept>

#include "apps/quaxscan/LivePipeline.h"

namespace quaxscan {
namespace {

TEST(LivePipeline, FiltersEveryFrameOfEverySurface) {
  LiveSettings settings;
  settings.lineRate = 2000.0;
  settings.seconds = 0.25;
  settings.pointsPerLine = 200;
  settings.framesPerSurface = 64;
  settings.filterThreads = 2;
  LiveProgress last;
  std::size_t reports = 0;
  const LiveResult result =
      runLivePipeline(settings, [&](const LiveProgress& p) {
        EXPECT_LE(p.filtered, p.acquired);
        last = p;
        ++reports;
      });
  EXPECT_EQ(result.frames, 500u);
  EXPECT_GE(reports, 1u);
  EXPECT_EQ(last.acquired, 500u);
  EXPECT_EQ(last.filtered, 500u);
  EXPECT_EQ(result.refusedLines, 0u);
  EXPECT_GE(result.lagMedianMs, 0.0);
  EXPECT_LE(result.lagMedianMs, result.lagP99Ms);
  EXPECT_LE(result.lagP99Ms, result.lagMaxMs);
  EXPECT_GT(result.lineRate, 0.0);
}

TEST(LivePipeline, RefusesSettingsWithoutWork) {
  for (int which = 0; which < 3; ++which) {
    LiveSettings settings;
    if (which == 0) settings.lineRate = 0.0;
    if (which == 1) settings.pointsPerLine = 2;
    if (which == 2) settings.framesPerSurface = 0;
    EXPECT_THROW(runLivePipeline(settings), std::invalid_argument) << which;
  }
}

}  // namespace
}  // namespace quaxscan
