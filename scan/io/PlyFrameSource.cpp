// SPDX-License-Identifier: MIT
// Binary little-endian PLY files read frame by frame, and whole sets built
// from them in one pass over their rows.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "scan/io/PlyHeader.h"
#include "scan/io/PlyRows.h"
#include "scan/io/ScanFileFormats.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace scanfile {

namespace {

constexpr std::size_t kReadBlockBytes = std::size_t(1) << 18;

}  // namespace

void fillLine(ScanLine& line, const PointRecord* records, std::size_t n,
              PlyColumns columns, ScanPointPool* pool) {
  if (n == 0) return;
  _ScanPointArray<double>& points = line.getPoints();
  const PointRecord* next = records;
  points.makeBlock(
      n,
      [&] {
        const PointRecord& r = *next++;
        return _GeoPoint<double>(r.x, r.y, r.z);
      },
      pool);
  if (!columns.graysum && !columns.pixels) return;
  if (pool != nullptr) {
    ScanPoint::createExtensionLists(points.data(), n, *pool);
  } else {
    ScanPoint::createExtensionLists(points.data(), n);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const PointRecord& r = records[i];
    ScanPoint* point = points[i];
    if (columns.graysum) {
      point->emplaceItem<ScanPointGraysumData>()->setGraysum(r.graysum);
    }
    if (columns.pixels) {
      auto* item = point->emplaceItem<ScanPointTPData>();
      item->setLowPixel(r.lowPixel);
      item->setHighPixel(r.highPixel);
    }
  }
}

struct PlyFrameSource::Layout : RowLayout {
  using RowLayout::RowLayout;
  std::uint64_t count = 0;        // vertex rows
  std::size_t headerBytes = 0;    // where the data starts in the file
  std::size_t vertexStart = 0;    // where the vertex rows start in the data
  std::size_t dataSize = 0;
  std::size_t dataEnd = 0;        // where the elements end in the data
  // A later element that cannot fit: reported after the vertex rows, as the
  // whole-set reader meets it.
  std::string laterError;

  // The surface and frame of a row, 0 when the file has no such property.
  std::uint64_t place(const unsigned char* r) const {
    const std::uint64_t s =
        index[kSurface] < 0 ? 0 : std::uint64_t(field(r, kSurface));
    const std::uint64_t f =
        index[kFrame] < 0 ? 0 : std::uint64_t(field(r, kFrame));
    return scanPlace(s, f);
  }
};

// Builds a set frame by frame, in scan order, as the rows come.
struct PlyFrameSource::Builder {
  std::unique_ptr<ScanSet> set = std::make_unique<ScanSet>();
  std::unique_ptr<ScanSurface> surface;  // surface `s`, being filled
  std::size_t s = 0, f = 0;              // f: frames appended to it
  PlyColumns columns;
  ScanPointPool pool;  // the set's lines live and go together

  void append(const PointRecord* records, std::size_t n) {
    auto line = std::make_unique<ScanLine>();
    fillLine(*line, records, n, columns, &pool);
    auto frame = std::make_unique<ScanFrame>(std::move(line));
    frame->getSyncObject()->setDataState(1);
    surface->appendFrame(std::move(frame));
    ++f;
  }
  // Completes the surfaces before `upTo`, each with its `frames`.
  void closeBefore(std::size_t upTo, const std::vector<std::size_t>& frames) {
    for (; s < upTo; ++s, f = 0) {
      if (!surface) surface = std::make_unique<ScanSurface>();
      while (f < frames[s]) append(nullptr, 0);
      surface->setComplete();
      set->addSurface(std::move(surface));
    }
  }
  void emit(std::uint64_t place, const std::vector<PointRecord>& records,
            const std::vector<std::size_t>& frames) {
    closeBefore(std::size_t(place >> 32), frames);
    if (!surface) surface = std::make_unique<ScanSurface>();
    while (f < std::size_t(place & UINT32_MAX)) append(nullptr, 0);
    append(records.data(), records.size());
  }
};

PlyFrameSource::~PlyFrameSource() = default;

bool PlyFrameSource::fill(std::size_t bytes) {
  if (_end - _begin >= bytes) return true;
  if (_begin > 0) {
    std::memmove(_buffer.data(), _buffer.data() + _begin, _end - _begin);
    _end -= _begin;
    _begin = 0;
  }
  // Blocks of 256 KiB at least: the file is read in few calls, into memory
  // that stays in the core's cache.
  if (_buffer.size() < bytes) {
    _buffer.resize(std::max({bytes, _buffer.size() * 2, kReadBlockBytes}));
  }
  _in.read(reinterpret_cast<char*>(_buffer.data() + _end),
           std::streamsize(_buffer.size() - _end));
  _end += std::size_t(_in.gcount());
  return _end - _begin >= bytes;
}

std::size_t readPlyHead(std::ifstream& in, std::string& head) {
  char block[1 << 14];
  for (;;) {
    in.read(block, sizeof block);
    const std::size_t got = std::size_t(in.gcount());
    if (got == 0) return 0;
    const std::size_t from = head.size() > 12 ? head.size() - 12 : 0;
    head.append(block, got);
    if (head.compare(0, 4, "ply\n") != 0 && head.compare(0, 5, "ply\r\n") != 0) {
      if (head.size() >= 5) return 0;
      continue;
    }
    const std::size_t at = head.find("\nend_header", from);
    if (at != std::string::npos) {
      const std::size_t eol = head.find('\n', at + 1);
      if (eol != std::string::npos) return eol + 1;
    }
    if (head.size() > kMaxHeaderBytes) return 0;
  }
}


std::unique_ptr<PlyFrameSource> PlyFrameSource::open(
    const std::filesystem::path& path, const std::string& name,
    PlyOpen how) {
  std::unique_ptr<PlyFrameSource> source(new PlyFrameSource());
  source->_name = name;
  std::ifstream& in = source->_in;
  in.open(path, std::ios::binary);
  if (!in) return nullptr;  // the whole-file read names the reason
  std::string head;
  const std::size_t headerBytes = readPlyHead(in, head);
  if (headerBytes == 0) return nullptr;
  LineReader lines(std::string_view(head).substr(0, headerBytes));
  const PlyHeader header = parsePlyHeader(lines, name);
  if (header.format != PlyFormat::kBinaryLittleEndian) return nullptr;

  std::error_code error;
  const std::uintmax_t fileSize = std::filesystem::file_size(path, error);
  if (error || fileSize < headerBytes) return nullptr;
  auto layout = std::make_unique<Layout>();
  layout->headerBytes = headerBytes;
  layout->dataSize = std::size_t(fileSize - headerBytes);
  // The elements' sizes, as the whole-set reader checks them in turn.
  std::size_t at = 0;
  bool vertexSeen = false;
  for (const PlyElement& element : header.elements) {
    if (element.hasLists()) return nullptr;
    const std::size_t fixed = element.fixedSize();
    const std::string fit = rowsFitError(element, fixed, layout->dataSize - at);
    if (!fit.empty() && !vertexSeen) fail(name, fit);
    if (!fit.empty()) {
      layout->laterError = fit;
      break;
    }
    if (element.name == "vertex" && fixed > 0) {
      if (vertexSeen) return nullptr;  // two vertex elements: read whole
      vertexSeen = true;
      const std::uint64_t count = element.count;
      *static_cast<RowLayout*>(layout.get()) = RowLayout(element);
      layout->count = count;
      layout->vertexStart = at;
    }
    at += std::size_t(element.count) * fixed;
  }
  layout->dataEnd = at;
  source->_frames = header.declaredFrames;
  source->_columns.graysum = layout->index[kGraysum] >= 0;
  source->_columns.pixels =
      layout->index[kLowPixel] >= 0 || layout->index[kHighPixel] >= 0;
  source->_points = source->_rowsLeft = layout->count;
  source->_layout = std::move(layout);
  const bool placed = source->_layout->index[kSurface] >= 0 ||
                      source->_layout->index[kFrame] >= 0;
  if (how == PlyOpen::kOnePass &&
      structureFromHeader(header.declaredFrames, placed, source->_points,
                          source->_frames)) {
    source->_onePass = true;
    source->rewind();
    return source;
  }
  if (how != PlyOpen::kHeaderOnly && !source->scanRows(nullptr)) return nullptr;
  return source;
}

void PlyFrameSource::rewind() {
  _in.clear();
  _in.seekg(std::streamoff(_layout->headerBytes + _layout->vertexStart));
  _begin = _end = 0;
}

std::string PlyFrameSource::rowAt(std::uint64_t row) const {
  const Layout& layout = *_layout;
  return vertexAt(row, layout.headerBytes + layout.vertexStart +
                           row * layout.row);
}

void PlyFrameSource::failRow(std::uint64_t row, int wrong, double bad) const {
  fail(_name, rowAt(row) + wrongField(wrong, bad));
}

void PlyFrameSource::failOutOfOrder(std::uint64_t row, const PointRecord& p) {
  _outOfOrder = true;
  fail(_name, rowAt(row) + "a point of surface " + std::to_string(p.surface) +
                  ", frame " + std::to_string(p.frame) +
                  " out of scan order or beyond the frames the header "
                  "declares (such a file is read whole, not frame by frame)");
}

bool PlyFrameSource::scanRows(Builder* builder) {
  const Layout& layout = *_layout;
  const std::size_t row = layout.row;
  rewind();
  StructureCheck check(_frames, layout.count);
  _records.clear();
  const bool plain = layout.isPlain();
  // Rows in blocks of about kReadBlockBytes.
  const std::uint64_t block = std::max<std::size_t>(
      1, kReadBlockBytes / std::max<std::size_t>(row, 1));
  for (std::uint64_t first = 0; first < layout.count;) {
    const std::size_t n = std::size_t(std::min(layout.count - first, block));
    if (!fill(n * row)) return false;  // the file changed: read it whole
    const unsigned char* bytes = _buffer.data() + _begin;
    for (std::size_t i = 0; i < n; ++i, bytes += row) {
      PointRecord p;
      double bad = 0.0;
      const int wrong = plain ? layout.decodePlain(bytes, p, bad)
                              : layout.decode(bytes, p, bad);
      if (wrong >= 0) failRow(first + i, wrong, bad);
      const std::uint64_t previous = check.last;
      check.add(p);
      if (check.outOfOrder) return false;  // read it whole
      if (check.last != previous && !_records.empty()) {
        builder->emit(previous, _records, check.frames);
        _records.clear();
      }
      // Built only while the set stays within what the file may hold.
      if (builder != nullptr && !check.badIndex && check.fits()) {
        _records.push_back(p);
      }
    }
    _begin += n * row;
    first += n;
  }
  if (!_records.empty()) builder->emit(check.last, _records, check.frames);
  _records.clear();
  checkAfterRows();
  check.check(_name, layout.count);
  _frames = std::move(check.frames);
  rewind();  // back to the first row, for readFrame
  return true;
}

std::unique_ptr<ScanSet> PlyFrameSource::readSet() {
  Builder builder;
  builder.columns = _columns;
  if (!scanRows(&builder)) return nullptr;
  builder.closeBefore(_frames.size(), _frames);
  _rowsLeft = 0;
  return std::move(builder.set);
}

void PlyFrameSource::readFrame(std::size_t surface, std::size_t frame,
                               ScanLine& line, ScanPointPool* pool) {
  const Layout& layout = *_layout;
  const std::size_t row = layout.row;
  const std::uint64_t place = scanPlace(surface, frame);
  // The rows of this frame follow one another (checked by open(), or here
  // in one pass).
  const bool plain = layout.isPlain();
  _records.clear();
  bool ended = false;
  while (_rowsLeft > 0 && !ended) {
    if (!fill(row)) fail(_name, "could not be read to its end");
    // The rows whole in the buffer, in a loop of their own: the buffer's
    // place is kept in locals and stored once per run.
    const std::size_t run = std::size_t(
        std::min<std::uint64_t>((_end - _begin) / row, _rowsLeft));
    const unsigned char* bytes = _buffer.data() + _begin;
    std::size_t taken = 0;
    const auto keep = [&] {
      _begin += taken * row;
      _rowsLeft -= taken;
    };
    for (; taken < run; ++taken, bytes += row) {
      PointRecord p;
      double bad = 0.0;
      const int wrong = plain ? layout.decodePlain(bytes, p, bad)
                              : layout.decode(bytes, p, bad);
      if (wrong >= 0) {
        keep();
        failRow(_points - _rowsLeft, wrong, bad);
      }
      const std::uint64_t at = scanPlace(p.surface, p.frame);
      if (at != place) {
        keep();
        if (at < place) failOutOfOrder(_points - _rowsLeft, p);
        ended = true;
        break;
      }
      _records.push_back(p);
    }
    if (!ended) keep();
  }
  fillLine(line, _records.data(), _records.size(), _columns, pool);
}

void PlyFrameSource::checkAfterRows() const {
  const Layout& layout = *_layout;
  if (!layout.laterError.empty()) fail(_name, layout.laterError);
  if (layout.dataEnd != layout.dataSize) {
    fail(_name, std::to_string(layout.dataSize - layout.dataEnd) +
                    " bytes after the last element (a wrong count in the "
                    "header?)");
  }
}

void PlyFrameSource::finish() {
  if (!_onePass) return;
  const Layout& layout = *_layout;
  if (_rowsLeft > 0) {
    // Rows beyond the last frame the header gives.
    PointRecord p;
    double bad = 0.0;
    if (!fill(layout.row)) fail(_name, "could not be read to its end");
    const unsigned char* bytes = _buffer.data() + _begin;
    const int wrong = layout.decode(bytes, p, bad);
    if (wrong >= 0) failRow(_points - _rowsLeft, wrong, bad);
    failOutOfOrder(_points - _rowsLeft, p);
  }
  checkAfterRows();
}

}  // namespace scanfile
}  // namespace QUAX
