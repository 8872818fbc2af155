// SPDX-License-Identifier: MIT
#include "apps/quaxscan/FilterSettings.h"

#include "apps/quaxscan/ScanSetIO.h"
#include "scan/filters/FilterRegistry.h"
#include "util/WideText.h"

namespace quaxscan {

std::vector<std::unique_ptr<QUAX::ScanLineFilter>> readFilterSettingsFile(
    const std::string& path) {
  auto lineOf = [&path](std::size_t line) {
    return path + ":" + std::to_string(line);
  };
  auto refused = [](const QUAX::EVXException& e,
                    const QUAX::ScanLineFilter& filter,
                    const std::string& where) {
    throw ScanFileError(where + ": the " + QUAX::toUtf8(filter.getKey()) +
                        " block cannot be read: " + e.what());
  };
  const std::wstring text = QUAX::fromUtf8(readFileBytes(path));
  try {
    return QUAX::FilterRegistry().read(text, path, lineOf, refused);
  } catch (const QUAX::EScanFilterSettingsError& e) {
    throw ScanFileError(e.message());
  }
}

std::string settingsText(const QUAX::ScanLineFilter& filter) {
  return QUAX::toUtf8(QUAX::filterSettingsText(filter));
}

}  // namespace quaxscan
