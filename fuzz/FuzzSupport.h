// SPDX-License-Identifier: MIT
// Shared parts of the settings fuzzers: the input as wide text, a profile to
// filter with whatever settings were read, and the checks.
#ifndef QUAX_FUZZ_FUZZSUPPORT_H_
#define QUAX_FUZZ_FUZZSUPPORT_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "scan/model/ScanLine.h"
#include "util/WideText.h"

namespace QUAX {
namespace fuzz {

// The input bytes as UTF-8 text; malformed sequences become U+FFFD.
inline std::wstring wideText(const std::uint8_t* data, std::size_t size) {
  return fromUtf8(std::string(reinterpret_cast<const char*>(data), size));
}

// A short noisy profile with a gap, a spike and two coincident points.
inline ScanLine profile() {
  ScanLine line;
  for (int i = 0; i < 40; ++i) {
    double x = 0.5 * i;
    if (i >= 25) x += 2500.0;  // a gap longer than any neighbourhood
    double z = std::sin(0.3 * i) + 0.01 * ((i * 7919) % 13);
    if (i == 12) z += 4.0;
    line.appendPoint(_GeoPoint<double>(x, 0.0, z));
  }
  line.appendPoint(*line.getPoint(39));
  return line;
}

// Stops the run with a report when a property does not hold.
inline void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

// Writing what was read and reading it back must give the same text.
template <class Filter>
void requireRoundTrip(const Filter& filter, Filter fresh) {
  std::wostringstream first;
  first << filter;
  std::wistringstream is(first.str());
  is >> fresh;
  std::wostringstream second;
  second << fresh;
  require(first.str() == second.str(), "settings round trip");
}

}  // namespace fuzz
}  // namespace QUAX

#endif  // QUAX_FUZZ_FUZZSUPPORT_H_
