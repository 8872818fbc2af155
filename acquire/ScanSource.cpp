// SPDX-License-Identifier: MIT
#include "acquire/ScanSource.h"

namespace QUAX {

ScanSource::~ScanSource() = default;

}  // namespace QUAX
