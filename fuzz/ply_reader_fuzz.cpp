// SPDX-License-Identifier: MIT
// Reads arbitrary bytes as a scan file (PLY, or x y z text when they do not
// start with "ply"). Every input must end in a scan set or in an
// EScanFileError; read from a file, whole or frame by frame, it must end the
// same way; a set that was read must write and read back to the same bytes
// in both PLY flavours.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "scan/io/ScanFile.h"
#include "scan/io/ScanFrameStream.h"

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

// The set or the error of reading `path` by `read`, as binary PLY bytes or
// the message without the file's name.
template <class Read>
std::string outcome(Read read, const std::string& name) {
  try {
    return written(*read(), QUAX::ScanFileFormat::kPlyBinary);
  } catch (const QUAX::EScanFileError& e) {
    return "error" + e.message().substr(name.size());
  }
}

// In one pass, a file found out of scan order is read again with the check
// first, as filterScanFile does.
std::unique_ptr<QUAX::ScanSet> byFrames(
    const std::filesystem::path& path,
    QUAX::ScanFrameReader::Mode mode = QUAX::ScanFrameReader::Mode::kCheckFirst) {
  QUAX::ScanFrameReader reader(path, mode);
  auto set = std::make_unique<QUAX::ScanSet>();
  for (std::size_t i = 0; i < reader.framesPerSurface().size(); ++i) {
    set->addSurface(std::make_unique<QUAX::ScanSurface>());
  }
  // Every other frame's points come from a pool, which goes before them.
  QUAX::ScanPointPool pool;
  std::size_t s = 0, f = 0, n = 0;
  try {
    while (auto frame = reader.next(s, f, n++ % 2 ? &pool : nullptr)) {
      set->getSurface(s)->appendFrame(std::move(frame));
    }
  } catch (const QUAX::EScanFileError&) {
    if (!reader.isOutOfOrder()) throw;
    return byFrames(path);
  }
  return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using QUAX::ScanFileFormat;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The file readers agree with the reader of bytes in memory.
  // A name of this process's own, so that fuzzers side by side do not meet.
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("quax-ply-fuzz-" + std::to_string(std::random_device()()) + ".ply");
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), std::streamsize(bytes.size()));
  const std::string name = path.string();
  const std::string inMemory =
      outcome([&] { return QUAX::readScanSet(bytes, name); }, name);
  require(outcome([&] { return QUAX::readScanSetFile(path); }, name) ==
              inMemory,
          "the file read whole as in memory");
  require(outcome([&] { return byFrames(path); }, name) == inMemory,
          "the file read frame by frame as in memory");
  require(outcome([&] {
            return byFrames(path, QUAX::ScanFrameReader::Mode::kOnePass);
          }, name) == inMemory,
          "the file read frame by frame in one pass as in memory");
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
