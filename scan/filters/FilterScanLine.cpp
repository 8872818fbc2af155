// SPDX-License-Identifier: MIT
// filterScanLine, declared beside ScanLineFilter: it reaches the filter's
// private filterLine through the access struct, which sits above the filter
// class, so it lives in a file of its own rather than in ScanLineFilter.cpp.
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanLineFilter.h"

namespace QUAX {

void filterScanLine(const ScanLineFilter& filter,
                    _ScanLine<double, _ScanPoint<double>>* line) {
  ScanLineFilterAccess::filterLine(filter, line);
}

}  // namespace QUAX
