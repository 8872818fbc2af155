// SPDX-License-Identifier: MIT
#include "scan/io/ScanFile.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <system_error>
#include <utility>
#include <vector>

#include "scan/io/ScanFileFormats.h"
#include "scan/model/ScanPointItems.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace QUAX {

namespace fs = std::filesystem;

namespace scanfile {

[[noreturn]] void fail(const std::string& name, const std::string& what) {
  throw EScanFileError(name + ": " + what);
}

StructureCheck::StructureCheck(std::vector<std::size_t> declared,
                               std::uint64_t count)
    : frames(std::move(declared)),
      limit(std::max(std::size_t(count), kStructureFloor)),
      structures(frames.size()) {
  for (std::size_t f : frames) structures += f;
}

void StructureCheck::addPlace(const PointRecord& p, std::uint64_t place) {
  outOfOrder = outOfOrder || place < last;
  last = place;
  counted = true;
  if (badIndex) return;
  // Checked before anything grows, so that no index can make us allocate
  // much.
  if (p.surface >= limit || p.frame >= limit) {
    badIndex = true;
    firstBad = p;
    return;
  }
  if (p.surface >= frames.size()) {
    structures += p.surface + 1 - frames.size();
    frames.resize(std::size_t(p.surface) + 1, 0);
  }
  std::size_t& n = frames[p.surface];
  if (p.frame >= n) {
    structures += p.frame + 1 - n;
    n = std::size_t(p.frame) + 1;
  }
}

void StructureCheck::check(const std::string& name,
                           std::uint64_t count) const {
  if (badIndex) {
    fail(name, "point in surface " + std::to_string(firstBad.surface) +
                   ", frame " + std::to_string(firstBad.frame) +
                   ": more surfaces or frames than a file of " +
                   std::to_string(count) + " points may hold");
  }
  if (structures > limit) {
    fail(name, "declares " + std::to_string(structures) +
                   " surfaces and frames, more than a file of " +
                   std::to_string(count) + " points may hold");
  }
}

bool structureFromHeader(const std::vector<std::size_t>& declared,
                         bool placed, std::uint64_t count,
                         std::vector<std::size_t>& frames) {
  if (placed && declared.empty()) return false;
  StructureCheck check(declared, count);
  // Without surface and frame properties every point is in frame 0 of
  // surface 0.
  if (!placed && count > 0) check.add(PointRecord{});
  if (!check.fits()) return false;
  frames = std::move(check.frames);
  return true;
}

std::unique_ptr<ScanSet> buildSet(const std::vector<PointRecord>& points,
                                        SetLayout layout,
                                        const std::string& name) {
  StructureCheck check(std::move(layout.framesPerSurface), points.size());
  for (const PointRecord& p : points) check.add(p);
  check.check(name, points.size());
  const std::vector<std::size_t>& frames = check.frames;

  // Points per frame first, so that every line gets one block.
  std::vector<std::size_t> firstFrame(frames.size() + 1, 0);
  for (std::size_t s = 0; s < frames.size(); ++s) {
    firstFrame[s + 1] = firstFrame[s] + frames[s];
  }
  std::vector<std::size_t> counts(firstFrame.back(), 0);
  for (const PointRecord& p : points) ++counts[firstFrame[p.surface] + p.frame];

  std::vector<ScanLine*> lines(counts.size(), nullptr);
  auto set = std::make_unique<ScanSet>();
  for (std::size_t s = 0; s < frames.size(); ++s) {
    auto surface = std::make_unique<ScanSurface>();
    for (std::size_t f = 0; f < frames[s]; ++f) {
      auto line = std::make_unique<ScanLine>();
      line->getPoints().reserveBlock(counts[firstFrame[s] + f]);
      if (layout.graysum || layout.pixels) {
        ScanPoint::createExtensionLists(line->getPoints().data(),
                                        line->getPoints().size());
      }
      lines[firstFrame[s] + f] = line.get();
      auto frame = std::make_unique<ScanFrame>(std::move(line));
      frame->getSyncObject()->setDataState(1);
      surface->appendFrame(std::move(frame));
    }
    surface->setComplete();
    set->addSurface(std::move(surface));
  }

  std::vector<std::size_t> filled(counts.size(), 0);
  for (const PointRecord& p : points) {
    const std::size_t slot = firstFrame[p.surface] + p.frame;
    ScanPoint* point = lines[slot]->getPoint(filled[slot]++);
    point->setPosition(p.x, p.y, p.z);
    if (layout.graysum) {
      point->emplaceItem<ScanPointGraysumData>()->setGraysum(p.graysum);
    }
    if (layout.pixels) {
      auto* item = point->emplaceItem<ScanPointTPData>();
      item->setLowPixel(p.lowPixel);
      item->setHighPixel(p.highPixel);
    }
  }
  return set;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view nextWord(std::string_view& line) {
  std::size_t i = 0;
  while (i < line.size() && isSpace(line[i])) ++i;
  std::size_t j = i;
  while (j < line.size() && !isSpace(line[j])) ++j;
  std::string_view word = line.substr(i, j - i);
  line.remove_prefix(j);
  return word;
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> result;
  for (std::string_view w = nextWord(line); !w.empty(); w = nextWord(line)) {
    result.push_back(w);
  }
  return result;
}

bool isBlank(std::string_view line) {
  return std::all_of(line.begin(), line.end(), isSpace);
}

std::string shownText(std::string_view text) {
  std::string shown;
  for (char c : text.substr(0, 40)) {
    shown += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  if (text.size() > 40) shown += "...";
  return "'" + shown + "'";
}

bool parseDouble(std::string_view word, double& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool parseCount(std::string_view word, std::uint64_t& value) {
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, value);
  return !word.empty() && result.ec == std::errc() && result.ptr == end;
}

void appendNumber(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void appendNumber(std::string& out, std::uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void flushIfLarge(std::string& buffer, std::ostream& out) {
  if (buffer.size() < (1 << 16)) return;
  out.write(buffer.data(), std::streamsize(buffer.size()));
  buffer.clear();
}

}  // namespace scanfile

using scanfile::fail;
using scanfile::readPly;
using scanfile::readText;
using scanfile::writePly;
using scanfile::writeText;

// ---- public -----------------------------------------------------------------

ScanFileFormat scanFileFormatFor(const fs::path& path, bool asciiPly) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (extension == ".ply") {
    return asciiPly ? ScanFileFormat::kPlyAscii : ScanFileFormat::kPlyBinary;
  }
  if (extension == ".txt" || extension == ".xyz") return ScanFileFormat::kText;
  fail(path.string(),
       "unknown scan file type '" + extension + "' (use .ply, .txt or .xyz)");
}

const char* scanFileFormatName(ScanFileFormat format) {
  switch (format) {
    case ScanFileFormat::kPlyBinary:
      return "binary PLY";
    case ScanFileFormat::kPlyAscii:
      return "ASCII PLY";
    case ScanFileFormat::kText:
      return "x y z text";
  }
  return "?";
}

std::unique_ptr<ScanSet> readScanSet(std::string_view bytes,
                                           const std::string& name) {
  if (bytes.substr(0, 4) == "ply\n" || bytes.substr(0, 5) == "ply\r\n") {
    return readPly(bytes, name);
  }
  if (bytes.substr(0, 3) == "ply") {
    fail(name, "not a PLY file (the first line is not 'ply')");
  }
  return readText(bytes, name);
}

std::unique_ptr<ScanSet> readScanSet(std::istream& in,
                                     const std::string& name) {
  std::string bytes;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) {
    bytes.append(block, std::size_t(in.gcount()));
  }
  if (in.bad()) fail(name, "could not be read to its end");
  return readScanSet(bytes, name);
}

std::string readFileBytes(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) fail(path.string(), "no such file");
  if (fs::is_directory(status)) fail(path.string(), "is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path.string(), "cannot be opened for reading");
  std::string bytes;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0) bytes.resize(std::size_t(size));
  if (size > 0 && !in.read(bytes.data(), size)) {
    fail(path.string(), "could not be read to its end");
  }
  return bytes;
}

std::unique_ptr<ScanSet> readScanSetFile(const fs::path& path) {
  // Binary PLY in scan order is built frame by frame from the file, each
  // row read once, without holding its bytes or a record per point.
  const std::unique_ptr<scanfile::PlyFrameSource> source =
      scanfile::PlyFrameSource::open(path, path.string(),
                                     scanfile::PlyOpen::kHeaderOnly);
  if (source) {
    if (auto set = source->readSet()) return set;
  }
  return readScanSet(readFileBytes(path), path.string());
}

void writeScanSet(const ScanSet& set, ScanFileFormat format,
                  std::ostream& out) {
  switch (format) {
    case ScanFileFormat::kPlyBinary:
      writePly(set, true, out);
      break;
    case ScanFileFormat::kPlyAscii:
      writePly(set, false, out);
      break;
    case ScanFileFormat::kText:
      writeText(set, out);
      break;
  }
}

namespace {

// replaceFile, with the temporary file given room for `expected` bytes
// first when it is known (0: not known).
void replaceFileOf(const fs::path& target,
                   const std::function<void(std::ostream&)>& write,
                   std::uint64_t expected) {
  const fs::path temporary = scanfile::temporaryBeside(target);
  {
    std::ofstream out;
    scanfile::openTemporary(out, temporary, target);
    const std::uint64_t allocated = scanfile::preallocate(temporary, expected);
    try {
      write(out);
      const std::uint64_t end = scanfile::writtenEnd(out, target.string());
      out.close();
      if (out.fail()) {
        fail(target.string(), "could not be written (is the disk full?)");
      }
      scanfile::trimTo(temporary, allocated, end, target);
    } catch (...) {
      out.close();
      scanfile::removeQuietly(temporary);
      throw;
    }
  }
  scanfile::moveInPlace(temporary, target);
}

}  // namespace

void writeScanSetFile(const ScanSet& set, ScanFileFormat format,
                      const fs::path& path) {
  const std::uint64_t expected =
      format == ScanFileFormat::kPlyBinary ? scanfile::binaryPlyBytes(set) : 0;
  replaceFileOf(
      path, [&](std::ostream& out) { writeScanSet(set, format, out); },
      expected);
}

namespace scanfile {

fs::path temporaryBeside(const fs::path& target) {
  const std::string name = target.string();
  if (target.filename().empty()) fail(name, "names a folder, not a file");
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    fail(name, "cannot be written: the folder " + folder.string() +
                   " does not exist");
  }
  if (fs::is_directory(target, error)) fail(name, "is a folder, not a file");
  // A name of our own in the target's folder, so that the rename stays on one
  // file system and replaces the target in one step.
  static std::atomic<unsigned> counter{0};
#ifdef _WIN32
  const long long pid = _getpid();
#else
  const long long pid = getpid();
#endif
  return folder / ("." + target.filename().string() + ".quax-" +
                   std::to_string(pid) + "-" + std::to_string(counter++) +
                   ".tmp");
}

void openTemporary(std::ofstream& out, const fs::path& temporary,
                   const fs::path& target) {
  out.open(temporary, std::ios::binary | std::ios::trunc);
  if (!out) {
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    fail(target.string(),
         "cannot be written: no file can be made in " + folder.string());
  }
}

// Files that replace others are written into blocks taken at once: the
// file system then reserves no block page by page as the bytes come, and
// replacing a file by one whose blocks are all taken does not make ext4
// write the new one out before the rename returns. Linux only; elsewhere,
// or where the file system cannot, the file grows as it is written.
std::uint64_t preallocate(const fs::path& file, std::uint64_t bytes) noexcept {
  bytes = std::min(bytes, kMostPreallocated);
#ifdef __linux__
  if (bytes == 0) return 0;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const bool taken = ::fallocate(fd, 0, 0, off_t(bytes)) == 0;
  ::close(fd);
  return taken ? bytes : 0;
#else
  (void)file;
  return 0;
#endif
}

std::uint64_t writtenEnd(std::ofstream& out, const std::string& name) {
  out.flush();
  const std::ostream::pos_type end = out.tellp();
  if (out.fail() || end == std::ostream::pos_type(-1)) {
    fail(name, "could not be written (is the disk full?)");
  }
  return std::uint64_t(end);
}

void trimTo(const fs::path& file, std::uint64_t allocated, std::uint64_t end,
            const fs::path& target) {
  if (allocated <= end) return;
  std::error_code error;
  fs::resize_file(file, end, error);
  if (error) fail(target.string(), "could not be written (" + error.message() + ")");
}

void removeQuietly(const fs::path& path) noexcept {
  std::error_code ignored;
  fs::remove(path, ignored);
}

void moveInPlace(const fs::path& temporary, const fs::path& target) {
#ifdef _WIN32
  const bool moved =
      MoveFileExW(temporary.wstring().c_str(), target.wstring().c_str(),
                  MOVEFILE_REPLACE_EXISTING) != 0;
#else
  std::error_code error;
  fs::rename(temporary, target, error);
  const bool moved = !error;
#endif
  if (!moved) {
    removeQuietly(temporary);
    fail(target.string(), "could not be replaced");
  }
}

}  // namespace scanfile

void replaceFile(const fs::path& target,
                 const std::function<void(std::ostream&)>& write) {
  replaceFileOf(target, write, 0);
}

}  // namespace QUAX
