// SPDX-License-Identifier: MIT
// Filter settings texts: the settings blocks of several filters one after
// the other, as quaxscan's --settings files and the Python module's
// filters_from_settings hold them.
#ifndef QUAX_APPS_QUAXSCAN_FILTERSETTINGS_H_
#define QUAX_APPS_QUAXSCAN_FILTERSETTINGS_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scan/filters/ScanLineFilter.h"
#include "util/VXException.h"

namespace quaxscan {

// Called with what a filter threw while reading its block, the filter and
// where its block starts; must throw.
using RefusedSettings = std::function<void(const QUAX::EVXException& error,
                                           const QUAX::ScanLineFilter& filter,
                                           const std::string& where)>;

// The filters whose settings blocks `text` holds, in order. Each block
// starts with its filter's name in angle brackets on a line of its own and
// is read by that filter. Messages name line N as `where(N)` and the text as
// a whole as `name`. A line that starts no block, a block the stream cannot
// read and a text without blocks throw ScanFileError; a block whose filter
// throws goes to `refused`.
std::vector<std::unique_ptr<QUAX::ScanLineFilter>> readFilterBlocks(
    const std::wstring& text, const std::string& name,
    const std::function<std::string(std::size_t line)>& where,
    const RefusedSettings& refused);

// The filters of the UTF-8 settings file at `path`, in order; every error,
// a block its filter refuses included, throws ScanFileError naming the file
// and the line.
std::vector<std::unique_ptr<QUAX::ScanLineFilter>> readFilterSettingsFile(
    const std::string& path);

// A filter's settings block, as UTF-8 text.
std::string settingsText(const QUAX::ScanLineFilter& filter);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_FILTERSETTINGS_H_
