// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a scan file (PLY, or x y z text when they do not
// start with "ply"). Every input must end in a scan set or
// in an EScanFileError; a set that was read must write and read back to the
// same bytes in both PLY flavours.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "scan/io/ScanFile.h"

namespace {

void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

std::string written(const QUAX::ScanSet& set, QUAX::ScanFileFormat format) {
  std::ostringstream out(std::ios::binary);
  QUAX::writeScanSet(set, format, out);
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using QUAX::ScanFileFormat;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<QUAX::ScanSet> set;
  try {
    set = QUAX::readScanSet(bytes, "fuzz.ply");
  } catch (const QUAX::EScanFileError&) {
    return 0;
  }
  for (ScanFileFormat format :
       {ScanFileFormat::kPlyBinary, ScanFileFormat::kPlyAscii}) {
    const std::string first = written(*set, format);
    std::unique_ptr<QUAX::ScanSet> back;
    try {
      back = QUAX::readScanSet(first, "written.ply");
    } catch (const QUAX::EScanFileError& e) {
      std::fprintf(stderr, "%s\n", e.message().c_str());
      require(false, "what was written reads back");
    }
    require(written(*back, format) == first, "scan file round trip");
  }
  return 0;
}
