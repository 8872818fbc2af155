// SPDX-License-Identifier: MIT
// quaxscan's filter settings files: the settings blocks of several filters
// one after the other (see QUAX::FilterRegistry), read from a UTF-8 file.
#ifndef QUAX_APPS_QUAXSCAN_FILTERSETTINGS_H_
#define QUAX_APPS_QUAXSCAN_FILTERSETTINGS_H_

#include <memory>
#include <string>
#include <vector>

#include "scan/filters/ScanLineFilter.h"

namespace quaxscan {

// The filters of the UTF-8 settings file at `path`, in order; every error,
// a block its filter refuses included, throws ScanFileError naming the file
// and the line.
std::vector<std::unique_ptr<QUAX::ScanLineFilter>> readFilterSettingsFile(
    const std::string& path);

// A filter's settings block, as UTF-8 text.
std::string settingsText(const QUAX::ScanLineFilter& filter);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_FILTERSETTINGS_H_
