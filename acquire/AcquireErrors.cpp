// SPDX-License-Identifier: MIT
#include "acquire/AcquireErrors.h"

#include "util/WideText.h"

namespace QUAX {

EAcquireException::EAcquireException() { _insertClass(*this); }

#define QUAX_ACQUIRE_TEXT(Name, code)          \
  Name::Name(const std::string& text) {        \
    _addDescriptionSpecific(fromUtf8(text));   \
    _processException(*this, code);            \
  }

QUAX_ACQUIRE_TEXT(EAcquireBadSettings, kAcquireBadSettings)
QUAX_ACQUIRE_TEXT(EAcquireBadCalibration, kAcquireBadCalibration)
QUAX_ACQUIRE_TEXT(EAcquireDevice, kAcquireDevice)
QUAX_ACQUIRE_TEXT(EAcquireNotAvailable, kAcquireNotAvailable)

#undef QUAX_ACQUIRE_TEXT

}  // namespace QUAX
