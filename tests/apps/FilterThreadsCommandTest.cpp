// SPDX-License-Identifier: MIT
// quaxscan filter --threads: the file written is the same for any number of
// threads.
#include <gtest/gtest.h>

#include <string>

#include "CommandRunner.h"

namespace quaxscan {
namespace {

using test::CommandTest;
using test::Outcome;

class QuaxscanFilterThreads : public CommandTest {};

TEST_F(QuaxscanFilterThreads, WriteTheFileOfOneThread) {
  ASSERT_EQ(quaxscan("simulate --dropouts 0.2 -o sim.ply").status, 0);
  std::string one;
  for (const char* threads : {"1", "2", "3", "0"}) {
    const std::string output = std::string("filtered") + threads + ".ply";
    const Outcome run = quaxscan(
        "filter sim.ply --settings '" QUAX_SETTINGS_FILE "' --threads " +
        std::string(threads) + " -o " + output);
    ASSERT_EQ(run.status, 0) << run.err;
    if (one.empty()) {
      one = text(output);
      ASSERT_FALSE(one.empty());
    } else {
      EXPECT_EQ(text(output), one) << threads << " threads";
    }
  }
  EXPECT_NE(quaxscan("filter sim.ply --settings '" QUAX_SETTINGS_FILE
                     "' --threads -1 -o x.ply")
                .status,
            0);
}

}  // namespace
}  // namespace quaxscan
