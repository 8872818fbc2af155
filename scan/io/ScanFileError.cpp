// SPDX-License-Identifier: MIT
#include "scan/io/ScanFileError.h"

#include "util/WideText.h"

namespace QUAX {

EScanFileError::EScanFileError(const std::string& message)
    : _message(message) {
  _insertClass(*this);
  _addDescriptionSpecific(fromUtf8(message));
}

}  // namespace QUAX
