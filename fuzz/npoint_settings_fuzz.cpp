// SPDX-License-Identifier: MIT
// Reads arbitrary text as N-point filter settings and reduces a profile with
// what was read, including counts and algorithms that only settings text can
// hold. Every input must end in a filter or in one of the library's
// exceptions, without writing past a buffer or walking without end.
#include <cstdint>
#include <sstream>

#include "FuzzSupport.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanNPointFilter.h"
#include "util/VXException.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace QUAX;
  std::wistringstream is(fuzz::wideText(data, size));
  ScanNPointFilter filter(5, ScanNPointFilter::EQUAL_INDEX);
  try {
    is >> filter;
  } catch (const EVXException&) {
    return 0;
  }
  fuzz::requireRoundTrip(
      filter, ScanNPointFilter(3, ScanNPointFilter::CHORDAL_DEVIATION));

  ScanLine line = fuzz::profile();
  const std::size_t count = line.getPointCount();
  try {
    filter.filterScanLine(&line);
  } catch (const EScanNPointFilterPointsNotExact&) {
    fuzz::require(line.getPointCount() <= count, "a cut line never grows");
    return 0;
  } catch (const EVXException&) {
    fuzz::require(line.getPointCount() == count, "a refused line stays");
    return 0;
  }
  fuzz::require(line.getPointCount() <= count, "a reduced line never grows");
  return 0;
}
