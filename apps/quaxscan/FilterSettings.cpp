// SPDX-License-Identifier: MIT
#include "apps/quaxscan/FilterSettings.h"

#include <algorithm>
#include <sstream>

#include "apps/quaxscan/ScanSetIO.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "util/WideText.h"

namespace quaxscan {

std::vector<std::unique_ptr<QUAX::ScanLineFilter>> readFilterBlocks(
    const std::wstring& text, const std::string& name,
    const std::function<std::string(std::size_t line)>& where,
    const RefusedSettings& refused) {
  std::wistringstream in(text);
  std::vector<std::unique_ptr<QUAX::ScanLineFilter>> filters;
  while (true) {
    // The block's first line, found and then read again by the filter.
    const std::streamoff start = in.tellg();
    std::wstring line;
    if (!std::getline(in, line)) break;
    const auto first = line.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos) continue;
    const auto last = line.find_last_not_of(L" \t\r");
    const std::wstring header = line.substr(first, last - first + 1);
    const std::string at = where(
        1 + std::size_t(std::count(text.begin(), text.begin() + start, L'\n')));

    std::unique_ptr<QUAX::ScanLineFilter> filter;
    if (header == L"<ScanAverageFilter>") {
      filter = std::make_unique<QUAX::ScanAverageFilter>(3, 1.0);
    } else if (header == L"<ScanChordalDeviationFilter>") {
      filter = std::make_unique<QUAX::ScanChordalDeviationFilter>(1.0);
    } else if (header == L"<ScanNPointFilter>") {
      filter = std::make_unique<QUAX::ScanNPointFilter>(
          3, QUAX::ScanNPointFilter::EQUAL_INDEX);
    } else {
      throw ScanFileError(at + ": '" + QUAX::toUtf8(header.substr(0, 60)) +
                          "' does not start a filter settings block (expected "
                          "<ScanAverageFilter>, <ScanChordalDeviationFilter> "
                          "or <ScanNPointFilter>)");
    }
    in.clear();
    in.seekg(start);
    try {
      QUAX::ScanLineFilterAccess::readSettings(*filter, in);
    } catch (const QUAX::EVXException& e) {
      refused(e, *filter, at);
      throw;  // `refused` did not throw
    }
    if (in.bad() || (in.fail() && !in.eof())) {
      throw ScanFileError(at + ": the " + QUAX::toUtf8(filter->getKey()) +
                          " block cannot be read");
    }
    filters.push_back(std::move(filter));
  }
  if (filters.empty()) {
    throw ScanFileError(name + ": holds no filter settings block");
  }
  return filters;
}

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
  return readFilterBlocks(QUAX::fromUtf8(readFileBytes(path)), path, lineOf,
                          refused);
}

std::string settingsText(const QUAX::ScanLineFilter& filter) {
  std::wostringstream out;
  QUAX::ScanLineFilterAccess::writeSettings(filter, out);
  return QUAX::toUtf8(out.str());
}

}  // namespace quaxscan
