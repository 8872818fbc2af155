// SPDX-License-Identifier: MIT
// Internal: the filters' private operations for the library's own callers
// (stream operators, filterScanLine, tests) and the shared settings errors.
#ifndef QUAX_SCAN_FILTERS_FILTERACCESS_H_
#define QUAX_SCAN_FILTERS_FILTERACCESS_H_

#include <typeinfo>

#include "scan/filters/ScanLineFilter.h"
#include "util/TypeName.h"
#include "util/VXFileString.h"

namespace QUAX {

struct ScanLineFilterAccess {
  static void writeSettings(const ScanLineFilter& f, std::wostream& os) {
    f.writeSettings(os);
  }
  static void readSettings(ScanLineFilter& f, std::wistream& is) {
    f.readSettings(is);
  }
  static void filterLine(const ScanLineFilter& f,
                         _ScanLine<double, _ScanPoint<double>>* line) {
    f.filterLine(line);
  }
};

// Throws the settings error E whose text is the run-time name of the pointer
// type `F*` (the type of `this` in F's readSettings).
template <class E, class F>
[[noreturn]] void throwSettingsError() {
  throw E(VXFileString(demangledTypeName(typeid(F*))));
}

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_FILTERACCESS_H_
