// SPDX-License-Identifier: MIT
#include "scan/io/ScanFrameStream.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>

#include "scan/io/ScanFileFormats.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

namespace fs = std::filesystem;
using namespace scanfile;

// ---- ScanFrameReader ---------------------------------------------------------

struct ScanFrameReader::State {
  std::unique_ptr<FrameSource> source;  // streaming
  std::unique_ptr<ScanSet> set;            // or read whole
  std::vector<std::size_t> frames;
  std::uint64_t points = 0;
  PlyColumns columns;
  std::size_t surface = 0, frame = 0;  // the next frame to hand out
  bool ended = false;                  // past the last frame
};

ScanFrameReader::ScanFrameReader(const fs::path& path, Mode mode)
    : _state(std::make_unique<State>()) {
  State& s = *_state;
  const PlyOpen how =
      mode == Mode::kOnePass ? PlyOpen::kOnePass : PlyOpen::kCheckRows;
  s.source = PlyFrameSource::open(path, path.string(), how);
  if (!s.source) s.source = openTextFrameSource(path, path.string(), how);
  if (s.source) {
    s.frames = s.source->framesPerSurface();
    s.points = s.source->points();
    s.columns = s.source->columns();
    return;
  }
  s.set = readScanSetFile(path);
  s.frames.resize(s.set->getSurfaceCount());
  for (std::size_t i = 0; i < s.frames.size(); ++i) {
    const ScanSurface* surface = s.set->getSurface(i);
    s.frames[i] = surface->getFrameCount();
    for (std::size_t f = 0; f < s.frames[i]; ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      const ScanLine& line = *frame->getScanLine();
      s.points += line.getPointCount();
      if (line.getPointCount() == 0) continue;
      const PointItems items = itemsOf(*line.getPoint(0));
      s.columns.graysum = s.columns.graysum || items.hasGraysum;
      s.columns.pixels = s.columns.pixels || items.hasPixels;
    }
  }
}

ScanFrameReader::~ScanFrameReader() = default;

const std::vector<std::size_t>& ScanFrameReader::framesPerSurface()
    const noexcept {
  return _state->frames;
}
std::uint64_t ScanFrameReader::pointCount() const noexcept {
  return _state->points;
}
bool ScanFrameReader::hasGraysums() const noexcept {
  return _state->columns.graysum;
}
bool ScanFrameReader::hasPixels() const noexcept {
  return _state->columns.pixels;
}
bool ScanFrameReader::isStreaming() const noexcept {
  return _state->source != nullptr;
}
bool ScanFrameReader::isOutOfOrder() const noexcept {
  return _state->source != nullptr && _state->source->isOutOfOrder();
}

std::unique_ptr<ScanFrame> ScanFrameReader::next(std::size_t& surface,
                                                 std::size_t& frame) {
  return next(surface, frame, nullptr);
}

std::unique_ptr<ScanFrame> ScanFrameReader::next(std::size_t& surface,
                                                 std::size_t& frame,
                                                 ScanPointPool* pool) {
  State& s = *_state;
  while (s.surface < s.frames.size() && s.frame >= s.frames[s.surface]) {
    ++s.surface;
    s.frame = 0;
  }
  if (s.surface >= s.frames.size()) {
    // Once: what follows the rows, checked after the last frame.
    if (s.source && !s.ended) {
      s.ended = true;
      s.source->finish();
    }
    return nullptr;
  }
  auto line = std::make_unique<ScanLine>();
  if (s.source) {
    s.source->readFrame(s.surface, s.frame, *line, pool);
  } else {
    // The set's frame gives up its points, so that memory shrinks as the
    // frames are handed out.
    ScanFrame* source = s.set->getSurface(s.surface)->getFrame(s.frame);
    if (source->hasScanLine()) {
      *line = *source->getScanLine();
      source->getScanLine()->resize(0);
    }
  }
  auto result = std::make_unique<ScanFrame>(std::move(line));
  result->getSyncObject()->setDataState(1);
  surface = s.surface;
  frame = s.frame++;
  return result;
}

// ---- ScanFrameWriter ---------------------------------------------------------

struct ScanFrameWriter::State {
  fs::path target;
  ScanFileFormat format = ScanFileFormat::kPlyBinary;
  std::vector<std::size_t> frames;
  PlyColumns columns;
  // PLY: the rows go to `body` first, the header and the rows to `whole` at
  // the end, once the count is known. Text goes to `whole` at once, and so
  // do PLY rows once a count is expected: behind `reserved` bytes kept for
  // the header.
  fs::path bodyPath, wholePath;
  std::size_t reserved = 0;
  std::uint64_t allocated = 0;  // the room preallocate() gave `whole`
  std::ofstream body, whole;
  // What is not written yet: binary rows in `block` (formatted in place, no
  // byte set twice), text and ASCII rows in `buffer`. Both stay small enough
  // to sit in the core's cache and are written out when they fill.
  std::string buffer;
  PlyRowBlock block;
  std::uint64_t points = 0;
  std::size_t surfacesStarted = 0;  // text: surfaces whose blank line is out
  bool started = false, finished = false;
  std::size_t lastSurface = 0, lastFrame = 0;

  bool isPly() const { return format != ScanFileFormat::kText; }
  std::ofstream& rows() { return isPly() && reserved == 0 ? body : whole; }
  void flush() {
    block.flush(rows());
    rows().write(buffer.data(), std::streamsize(buffer.size()));
    buffer.clear();
  }
};

namespace {

// Text and ASCII rows are written out once they pass this, as binary ones.
constexpr std::size_t kFlushBytes = PlyRowBlock::kBytes;

}  // namespace

ScanFrameWriter::ScanFrameWriter(const fs::path& target, ScanFileFormat format,
                                 const std::vector<std::size_t>& frames,
                                 bool graysums, bool pixels)
    : _state(std::make_unique<State>()) {
  State& s = *_state;
  s.target = target;
  s.format = format;
  s.frames = frames;
  s.columns.graysum = graysums;
  s.columns.pixels = pixels;
  s.wholePath = temporaryBeside(target);
  if (s.isPly()) {
    s.bodyPath = temporaryBeside(target);
    openTemporary(s.body, s.bodyPath, target);
  } else {
    openTemporary(s.whole, s.wholePath, target);
    s.buffer = kTextHeading;
  }
}

ScanFrameWriter::~ScanFrameWriter() {
  State& s = *_state;
  if (s.finished) return;
  s.body.close();
  s.whole.close();
  if (!s.bodyPath.empty()) removeQuietly(s.bodyPath);
  removeQuietly(s.wholePath);
}

void ScanFrameWriter::write(std::size_t surface, std::size_t frame,
                            const ScanFrame& data) {
  State& s = *_state;
  if (s.finished || surface >= s.frames.size() ||
      frame >= s.frames[surface] ||
      (s.started && (surface < s.lastSurface ||
                     (surface == s.lastSurface && frame <= s.lastFrame)))) {
    fail(s.target.string(), "frame " + std::to_string(frame) +
                                " of surface " + std::to_string(surface) +
                                " written out of scan order or outside the "
                                "set");
  }
  s.started = true;
  s.lastSurface = surface;
  s.lastFrame = frame;
  if (!data.hasScanLine()) return;
  const ScanLine& line = *data.getScanLine();
  s.points += line.getPointCount();
  if (s.format == ScanFileFormat::kPlyBinary) {
    PlyColumns missed;  // the columns are the reader's: none is missed
    s.block.put(s.rows(), surface, frame, line, s.columns, missed);
    return;
  }
  if (s.isPly()) {
    appendPlyRows(s.buffer, false, surface, frame, line, s.columns);
  } else if (line.getPointCount() > 0) {
    // One blank line more before each new surface.
    while (s.surfacesStarted < surface) {
      s.buffer += '\n';
      ++s.surfacesStarted;
    }
    appendTextRows(s.buffer, line);
  }
  if (s.buffer.size() >= kFlushBytes) s.flush();
}

void ScanFrameWriter::expectPoints(std::uint64_t points) {
  State& s = *_state;
  if (!s.isPly() || s.started || s.reserved > 0) return;
  s.body.close();
  removeQuietly(s.bodyPath);
  s.bodyPath.clear();
  s.reserved = plyHeader(s.format == ScanFileFormat::kPlyBinary, s.frames,
                         points, s.columns)
                   .size();
  openTemporary(s.whole, s.wholePath, s.target);
  if (s.format == ScanFileFormat::kPlyBinary) {
    s.allocated = preallocate(s.wholePath,
                              s.reserved + points * plyRowBytes(s.columns));
  }
  s.whole.write(std::string(s.reserved, ' ').data(),
                std::streamsize(s.reserved));
}

namespace {

// Writes the header and then the rows that follow `offset` in `body` to
// `whole`.
void copyBehindHeader(std::ofstream& whole, const std::string& header,
                      const fs::path& body, std::size_t offset,
                      const std::string& name) {
  whole.write(header.data(), std::streamsize(header.size()));
  std::ifstream rows(body, std::ios::binary);
  rows.seekg(std::streamoff(offset));
  std::vector<char> block(std::size_t(1) << 20);
  while (rows.read(block.data(), std::streamsize(block.size())) ||
         rows.gcount() > 0) {
    whole.write(block.data(), rows.gcount());
  }
  if (rows.bad()) fail(name, "could not be written (its rows were lost)");
}

}  // namespace

std::uint64_t ScanFrameWriter::pointCount() const noexcept {
  return _state->points;
}

void ScanFrameWriter::finish() {
  State& s = *_state;
  if (s.finished) return;
  const std::string name = s.target.string();
  if (!s.isPly()) {
    while (s.surfacesStarted + 1 < s.frames.size()) {
      s.buffer += '\n';
      ++s.surfacesStarted;
    }
  }
  s.flush();
  if (s.isPly()) {
    PlyColumns columns = s.columns;
    if (s.points == 0) columns = PlyColumns{};
    const std::string header =
        plyHeader(s.format == ScanFileFormat::kPlyBinary, s.frames, s.points,
                  columns);
    // Where the rows end: a preallocated file is cut back to it.
    const std::uint64_t end =
        writtenEnd(s.reserved > 0 ? s.whole : s.body, name);
    if (s.reserved == header.size()) {
      s.whole.seekp(0);
      s.whole.write(header.data(), std::streamsize(header.size()));
      s.whole.flush();
      trimTo(s.wholePath, s.allocated, end, s.target);
    } else {
      // The rows sit in a file of their own, or behind room for a header of
      // another length: copied behind the header into a new file.
      std::ofstream& rows = s.reserved > 0 ? s.whole : s.body;
      rows.close();
      if (rows.fail()) fail(name, "could not be written (is the disk full?)");
      if (s.reserved > 0) {
        trimTo(s.wholePath, s.allocated, end, s.target);
        s.bodyPath = s.wholePath;
        s.wholePath = temporaryBeside(s.target);
      }
      openTemporary(s.whole, s.wholePath, s.target);
      copyBehindHeader(s.whole, header, s.bodyPath, s.reserved, name);
    }
  }
  s.whole.close();
  if (s.whole.fail()) fail(name, "could not be written (is the disk full?)");
  moveInPlace(s.wholePath, s.target);
  s.finished = true;
  if (!s.bodyPath.empty()) removeQuietly(s.bodyPath);
}

}  // namespace QUAX
