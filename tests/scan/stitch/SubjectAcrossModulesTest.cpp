// SPDX-License-Identifier: MIT
// Observers attached in one shared library and detached in another.
#include <gtest/gtest.h>

#include "tests/scan/stitch/CrossModuleObserver.h"

namespace QUAX {
namespace testing {
namespace {

TEST(SubjectAcrossModules, ObserverAttachedInOneLibraryIsDetachedFromAnother) {
  ProgressSubject subject;
  CrossModuleProbe probe;
  attachFromFirstModule(subject, probe);
  subject.notify(10, 1u);
  EXPECT_EQ(probe.progressCalls, 1);
  EXPECT_EQ(probe.stepCalls, 1);
  // The second library makes its own callbacks for the same object and
  // functions: they must name the entries the first one made.
  detachFromSecondModule(subject, probe);
  subject.notify(20, 1u);
  EXPECT_EQ(probe.progressCalls, 1);
  EXPECT_EQ(probe.stepCalls, 1);
  // And the first library's callbacks still merge with the entries.
  attachFromFirstModule(subject, probe);
  attachFromFirstModule(subject, probe);
  subject.notify(30, 1u);
  EXPECT_EQ(probe.progressCalls, 2);
  EXPECT_EQ(probe.stepCalls, 2);
}

}  // namespace
}  // namespace testing
}  // namespace QUAX
