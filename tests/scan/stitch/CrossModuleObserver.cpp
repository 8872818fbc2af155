// SPDX-License-Identifier: MIT
// Built twice: once as the library that attaches, once as the one that
// detaches.
#include "tests/scan/stitch/CrossModuleObserver.h"

namespace QUAX {
namespace testing {

#ifdef QUAX_OBSERVER_ATTACH_BUILD
CrossModuleProbe::~CrossModuleProbe() = default;

void CrossModuleProbe::onStep(ProgressSubject*, int, unsigned) { ++stepCalls; }

void attachFromFirstModule(ProgressSubject& subject, CrossModuleProbe& probe) {
  subject.attach(
      ProgressSubject::Callback(probe, &CrossModuleProbe::onProgress), ~0u);
  subject.attach(ProgressSubject::Callback(probe, &CrossModuleProbe::onStep),
                 ~0u);
}
#else
void detachFromSecondModule(ProgressSubject& subject, CrossModuleProbe& probe) {
  subject.detach(
      ProgressSubject::Callback(probe, &CrossModuleProbe::onProgress), ~0u);
  subject.detach(ProgressSubject::Callback(probe, &CrossModuleProbe::onStep),
                 ~0u);
}
#endif

}  // namespace testing
}  // namespace QUAX
