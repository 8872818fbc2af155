// SPDX-License-Identifier: MIT
#include "util/VXFileString.h"

#include "util/WideText.h"

namespace QUAX {

VXFileString::VXFileString(const std::string& narrow) : _wide(fromUtf8(narrow)) {}

}  // namespace QUAX
