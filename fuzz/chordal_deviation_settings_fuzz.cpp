// SPDX-License-Identifier: MIT
// Reads arbitrary text as chordal deviation filter settings and thins a
// profile with what was read. Every input must end in a filter or in one of
// the library's exceptions.
#include <cstdint>
#include <sstream>

#include "FuzzSupport.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "util/VXException.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace QUAX;
  std::wistringstream is(fuzz::wideText(data, size));
  ScanChordalDeviationFilter filter(0.5, 100.0, 16);
  try {
    is >> filter;
  } catch (const EVXException&) {
    return 0;
  }
  fuzz::requireRoundTrip(filter, ScanChordalDeviationFilter(1.0));

  ScanLine line = fuzz::profile();
  const ScanLine original = line;
  try {
    filter.filterScanLine(&line);
  } catch (const EVXException&) {
    return 0;
  }
  const std::size_t kept = line.getPointCount();
  fuzz::require(kept >= 2 && kept <= original.getPointCount(),
                "thinning keeps the ends and never grows the line");
  fuzz::require(
      line.getPoint(0)->position() == original.getPoint(0)->position() &&
          line.getPoint(kept - 1)->position() ==
              original.getPoint(original.getPointCount() - 1)->position(),
      "thinning keeps the first and the last point");
  return 0;
}
