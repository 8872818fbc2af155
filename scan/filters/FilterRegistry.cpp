// SPDX-License-Identifier: MIT
#include "scan/filters/FilterRegistry.h"

#include <algorithm>
#include <sstream>

#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "util/WideText.h"

namespace QUAX {

EScanFilterSettingsError::EScanFilterSettingsError(const std::string& message)
    : _message(message) {
  _insertClass(*this);
  _addDescriptionSpecific(fromUtf8(message));
}

FilterRegistry::FilterRegistry() {
  // Any valid settings do: the block overwrites them all.
  add(ScanAverageFilter::_scanAverageFilterKey,
      [] { return std::make_unique<ScanAverageFilter>(3, 1.0); });
  add(ScanChordalDeviationFilter::_scanChordalDeviationFilterKey,
      [] { return std::make_unique<ScanChordalDeviationFilter>(1.0); });
  add(ScanNPointFilter::_scanNPointFilterKey, [] {
    return std::make_unique<ScanNPointFilter>(3, ScanNPointFilter::EQUAL_INDEX);
  });
}

void FilterRegistry::add(const std::wstring& name, Maker make) {
  if (name.empty() || name.find_first_of(L" \t\r\n\v\f<>") != name.npos) {
    throw EScanFilterSettingsError("'" + toUtf8(name) +
                                   "' cannot name a filter settings block");
  }
  if (!make) {
    throw EScanFilterSettingsError("no maker given for the " + toUtf8(name) +
                                   " block");
  }
  for (auto& entry : _makers) {
    if (entry.first == name) {
      entry.second = std::move(make);
      return;
    }
  }
  _makers.emplace_back(name, std::move(make));
}

std::vector<std::wstring> FilterRegistry::names() const {
  std::vector<std::wstring> names;
  for (const auto& entry : _makers) names.push_back(entry.first);
  return names;
}

bool FilterRegistry::contains(const std::wstring& name) const {
  return std::any_of(
      _makers.begin(), _makers.end(),
      [&name](const auto& entry) { return entry.first == name; });
}

std::unique_ptr<ScanLineFilter> FilterRegistry::make(
    const std::wstring& name) const {
  auto filter = makeFor(L"<" + name + L">");
  if (!filter) {
    throw EScanFilterSettingsError("'" + toUtf8(name) +
                                   "' names no registered filter (expected " +
                                   expected() + ")");
  }
  return filter;
}

std::unique_ptr<ScanLineFilter> FilterRegistry::makeFor(
    const std::wstring& header) const {
  for (const auto& entry : _makers) {
    if (header.size() == entry.first.size() + 2 && header.front() == L'<' &&
        header.back() == L'>' &&
        header.compare(1, entry.first.size(), entry.first) == 0) {
      return entry.second();
    }
  }
  return nullptr;
}

std::string FilterRegistry::expected() const {
  std::string list;
  for (std::size_t i = 0; i < _makers.size(); ++i) {
    if (i > 0) list += i + 1 == _makers.size() ? " or " : ", ";
    list += "<" + toUtf8(_makers[i].first) + ">";
  }
  return list;
}

std::vector<std::unique_ptr<ScanLineFilter>> FilterRegistry::read(
    const std::wstring& text, const std::string& name, const Where& where,
    const Refused& refused) const {
  std::wistringstream in(text);
  std::vector<std::unique_ptr<ScanLineFilter>> filters;
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

    std::unique_ptr<ScanLineFilter> filter = makeFor(header);
    if (!filter) {
      throw EScanFilterSettingsError(
          at + ": '" + toUtf8(header.substr(0, 60)) +
          "' does not start a filter settings block (expected " + expected() +
          ")");
    }
    in.clear();
    in.seekg(start);
    try {
      ScanLineFilterAccess::readSettings(*filter, in);
    } catch (const EVXException& e) {
      if (refused) refused(e, *filter, at);
      throw;  // no `refused`, or it did not throw
    }
    if (in.bad() || (in.fail() && !in.eof())) {
      throw EScanFilterSettingsError(at + ": the " + toUtf8(filter->getKey()) +
                                     " block cannot be read");
    }
    filters.push_back(std::move(filter));
  }
  if (filters.empty()) {
    throw EScanFilterSettingsError(name + ": holds no filter settings block");
  }
  return filters;
}

std::vector<std::unique_ptr<ScanLineFilter>> FilterRegistry::read(
    const std::wstring& text) const {
  return read(text, "the settings text",
              [](std::size_t line) { return "line " + std::to_string(line); });
}

void writeFilterSettings(std::wostream& os, const ScanLineFilter& filter) {
  ScanLineFilterAccess::writeSettings(filter, os);
}

void readFilterSettings(std::wistream& is, ScanLineFilter& filter) {
  ScanLineFilterAccess::readSettings(filter, is);
}

std::wstring filterSettingsText(const ScanLineFilter& filter) {
  std::wostringstream out;
  writeFilterSettings(out, filter);
  return out.str();
}

}  // namespace QUAX
