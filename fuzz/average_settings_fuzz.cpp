// SPDX-License-Identifier: MIT
// Reads arbitrary text as average filter settings and filters a profile with
// what was read. Every input must end in a filter or in one of the library's
// exceptions (std::length_error for a negative neighbourhood size).
#include <cstdint>
#include <sstream>
#include <stdexcept>

#include "FuzzSupport.h"
#include "scan/filters/FilterAccess.h"
#include "scan/filters/ScanAverageFilter.h"
#include "util/VXException.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace QUAX;
  std::wistringstream is(fuzz::wideText(data, size));
  ScanAverageFilter filter(5, 500.0);
  try {
    is >> filter;
  } catch (const EVXException&) {
    return 0;
  } catch (const std::length_error&) {
    return 0;
  }
  fuzz::requireRoundTrip(filter, ScanAverageFilter(3, 1.0));

  ScanLine line = fuzz::profile();
  const std::size_t count = line.getPointCount();
  try {
    ScanLineFilterAccess::filterLine(filter, &line);
  } catch (const EVXException&) {
  }
  fuzz::require(line.getPointCount() == count, "average keeps every point");
  return 0;
}
