// SPDX-License-Identifier: MIT
#include "tests/scan/stitch/CrossModuleObserver.h"

namespace QUAX {
namespace testing {

void detachFromSecondModule(ProgressSubject& subject, CrossModuleProbe& probe) {
  subject.detach(
      ProgressSubject::Callback(probe, &CrossModuleProbe::onProgress), ~0u);
  subject.detach(ProgressSubject::Callback(probe, &CrossModuleProbe::onStep),
                 ~0u);
}

}  // namespace testing
}  // namespace QUAX
