// SPDX-License-Identifier: MIT
#include "tests/scan/stitch/CrossModuleObserver.h"

namespace QUAX {
namespace testing {

CrossModuleProbe::~CrossModuleProbe() = default;

void CrossModuleProbe::onStep(ProgressSubject*, int, unsigned) { ++stepCalls; }

void attachFromFirstModule(ProgressSubject& subject, CrossModuleProbe& probe) {
  subject.attach(
      ProgressSubject::Callback(probe, &CrossModuleProbe::onProgress), ~0u);
  subject.attach(ProgressSubject::Callback(probe, &CrossModuleProbe::onStep),
                 ~0u);
}

}  // namespace testing
}  // namespace QUAX
