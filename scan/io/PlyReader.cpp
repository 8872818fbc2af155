// SPDX-License-Identifier: MIT
// Reading PLY scan files: the rows after the header (PlyHeader.h), ASCII
// or binary little-endian, whole or frame by frame.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "scan/model/ScanPointItems.h"

#include "scan/io/PlyHeader.h"
#include "scan/io/ScanFileFormats.h"
#include "scan/io/ScanFile.h"

namespace QUAX {

using namespace scanfile;

namespace {

// Every binary row takes at least its fixed bytes: a count beyond the `left`
// bytes that follow is refused before anything is allocated.
void checkRowsFit(const PlyElement& element, std::size_t fixed,
                  std::size_t left, const std::string& name) {
  if (fixed > 0 && element.count > left / fixed) {
    fail(name, "header line " + std::to_string(element.headerLine) +
                   ": element '" + element.name + "' declares " +
                   std::to_string(element.count) + " rows of at least " +
                   std::to_string(fixed) + " bytes, but only " +
                   std::to_string(left) + " bytes follow");
  }
}

// Where each field sits in a vertex row; -1 when absent.
struct VertexFields {
  int index[kFieldCount];
  PlyType type[kFieldCount];

  explicit VertexFields(const PlyElement& vertex) {
    for (int f = 0; f < kFieldCount; ++f) {
      index[f] = -1;
      type[f] = PlyType::kFloat64;
      for (std::size_t i = 0; i < vertex.properties.size(); ++i) {
        if (vertex.properties[i].name == kFieldNames[f]) {
          index[f] = int(i);
          type[f] = vertex.properties[i].type;
        }
      }
    }
  }
};

// The largest value of a whole-number field.
double topOf(int field) {
  return field <= kFrame ? double(INT32_MAX) : double(UINT32_MAX);
}

// What is wrong with field `f` of a vertex, whose value is `v`.
std::string wrongField(int f, double v) {
  if (f <= kZ) {
    return std::string("coordinate ") + kFieldNames[f] +
           " is not a finite number";
  }
  char shown[32];
  const auto end = std::to_chars(shown, shown + sizeof shown, v).ptr;
  return std::string(kFieldNames[f]) + " " + std::string(shown, end) +
         " is not a whole number from 0 to " +
         std::to_string(std::uint64_t(topOf(f)));
}

// Checks one vertex whose property values are `values` and fills `p`;
// returns the first field that is wrong, or -1. Runs once per row: no text
// is made unless a field is wrong (wrongField).
inline int decodeVertex(const double* values, const VertexFields& fields,
                        PointRecord& p) {
  p = PointRecord{};
  p.x = values[fields.index[kX]];
  p.y = values[fields.index[kY]];
  p.z = values[fields.index[kZ]];
  if (!std::isfinite(p.x)) return kX;
  if (!std::isfinite(p.y)) return kY;
  if (!std::isfinite(p.z)) return kZ;
  std::uint32_t whole[kFieldCount] = {};
  for (int f = kSurface; f < kFieldCount; ++f) {
    if (fields.index[f] < 0) continue;
    const double v = values[fields.index[f]];
    // In range first, so that the conversion is defined (and cheaper than
    // std::floor, a library call on plain x86-64).
    if (!(v >= 0.0 && v <= topOf(f) && v == double(std::uint32_t(v)))) return f;
    whole[f] = std::uint32_t(v);
  }
  p.surface = whole[kSurface];
  p.frame = whole[kFrame];
  p.graysum = whole[kGraysum];
  p.lowPixel = whole[kLowPixel];
  p.highPixel = whole[kHighPixel];
  return -1;
}

std::string storeVertex(const double* values, const VertexFields& fields,
                        std::vector<PointRecord>& points) {
  PointRecord p;
  const int wrong = decodeVertex(values, fields, p);
  if (wrong >= 0) return wrongField(wrong, values[fields.index[wrong]]);
  points.push_back(p);
  return std::string();
}

std::unique_ptr<ScanSet> readPlyData(const PlyHeader& header,
                                     std::string_view data,
                                     std::size_t dataStart,
                                     std::size_t firstLine,
                                     const std::string& name) {
  std::vector<PointRecord> points;
  SetLayout layout;
  layout.framesPerSurface = header.declaredFrames;

  if (header.format == PlyFormat::kBinaryLittleEndian) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t at = 0;
    for (const PlyElement& element : header.elements) {
      const std::size_t fixed = element.fixedSize();
      checkRowsFit(element, fixed, data.size() - at, name);
      if (fixed == 0) continue;  // no properties: rows without bytes
      const std::size_t count = std::size_t(element.count);
      if (element.name != "vertex") {
        if (!element.hasLists()) {
          at += count * fixed;
          continue;
        }
        for (std::size_t row = 0; row < count; ++row) {
          for (const PlyProperty& p : element.properties) {
            const std::size_t size = sizeOf(p.isList ? p.countType : p.type);
            if (data.size() - at < size) {
              fail(name, "the file ends inside element '" + element.name +
                             "' (row " + std::to_string(row + 1) + " of " +
                             std::to_string(count) + ")");
            }
            if (!p.isList) {
              at += size;
              continue;
            }
            const double items = readBinary(bytes + at, p.countType);
            at += size;
            if (items < 0 ||
                items * double(sizeOf(p.type)) > double(data.size() - at)) {
              fail(name, "the file ends inside element '" + element.name +
                             "' (row " + std::to_string(row + 1) + " of " +
                             std::to_string(count) + ")");
            }
            at += std::size_t(items) * sizeOf(p.type);
          }
        }
        continue;
      }
      const VertexFields fields(element);
      std::vector<std::size_t> offsets;
      std::size_t offset = 0;
      for (const PlyProperty& p : element.properties) {
        offsets.push_back(offset);
        offset += sizeOf(p.type);
      }
      points.reserve(count);
      std::vector<double> values(element.properties.size(), 0.0);
      for (std::size_t row = 0; row < count; ++row, at += fixed) {
        for (int f = 0; f < kFieldCount; ++f) {
          const int i = fields.index[f];
          if (i >= 0)
            values[std::size_t(i)] = readBinary(
                bytes + at + offsets[std::size_t(i)], fields.type[f]);
        }
        const std::string wrong = storeVertex(values.data(), fields, points);
        if (!wrong.empty()) {
          fail(name, "vertex " + std::to_string(row) + " (byte offset " +
                         std::to_string(dataStart + at) + "): " + wrong);
        }
      }
    }
    if (at != data.size()) {
      fail(name, std::to_string(data.size() - at) +
                     " bytes after the last element (a wrong count in the "
                     "header?)");
    }
  } else {
    LineReader lines(data);
    std::size_t lineBase = firstLine;
    for (const PlyElement& element : header.elements) {
      if (element.properties.empty()) continue;
      // Every row takes a line of at least one character.
      if (element.count > lines.rest().size() / 2) {
        fail(name, "header line " + std::to_string(element.headerLine) +
                       ": element '" + element.name + "' declares " +
                       std::to_string(element.count) + " rows, but only " +
                       std::to_string(lines.rest().size()) +
                       " bytes of text follow");
      }
      const std::size_t count = std::size_t(element.count);
      const bool isVertex = element.name == "vertex";
      const VertexFields fields(element);
      // Reserved for rows of one digit per value at the most.
      if (isVertex) {
        points.reserve(std::min(
            count, lines.rest().size() / (2 * element.properties.size())));
      }
      std::vector<double> values(element.properties.size(), 0.0);
      for (std::size_t row = 0; row < count; ++row) {
        std::string_view line;
        if (!lines.next(line)) {
          throw EScanFileError(
              name + ":" + std::to_string(lineBase + lines.number() + 1) +
              ": the file ends after " + std::to_string(row) + " of " +
              std::to_string(count) + " '" + element.name + "' rows");
        }
        if (!isVertex) continue;
        const auto where = [&] {
          return name + ":" + std::to_string(lineBase + lines.number());
        };
        const auto w = words(line);
        if (w.size() != element.properties.size()) {
          throw EScanFileError(where() + ": expected " +
                              std::to_string(element.properties.size()) +
                              " values for a vertex, found " +
                              std::to_string(w.size()));
        }
        for (std::size_t i = 0; i < w.size(); ++i) {
          if (!parseAscii(w[i], element.properties[i].type, values[i])) {
            throw EScanFileError(
                where() + ": " + shownText(w[i]) + " is not a " +
                (isInteger(element.properties[i].type)
                     ? "whole number in the range of "
                     : "number for ") +
                "property '" + element.properties[i].name + "'");
          }
        }
        const std::string wrong = storeVertex(values.data(), fields, points);
        if (!wrong.empty()) throw EScanFileError(where() + ": " + wrong);
      }
    }
    std::string_view line;
    while (lines.next(line)) {
      if (!isBlank(line)) {
        throw EScanFileError(name + ":" +
                            std::to_string(lineBase + lines.number()) +
                            ": text after the last element (a wrong count in "
                            "the header?)");
      }
    }
  }
  for (const PlyElement& e : header.elements) {
    if (e.name != "vertex") continue;
    const VertexFields fields(e);
    layout.graysum = fields.index[kGraysum] >= 0;
    layout.pixels =
        fields.index[kLowPixel] >= 0 || fields.index[kHighPixel] >= 0;
  }
  return buildSet(points, std::move(layout), name);
}

}  // namespace

namespace scanfile {

std::unique_ptr<ScanSet> readPly(std::string_view bytes,
                                 const std::string& name) {
  LineReader lines(bytes);
  const PlyHeader header = parsePlyHeader(lines, name);
  return readPlyData(header, lines.rest(), bytes.size() - lines.rest().size(),
                     header.dataLine, name);
}


// ---- frame by frame ----------------------------------------------------------

struct PlyFrameSource::Layout {
  PlyElement vertex;
  std::size_t row = 0;                  // bytes of a vertex row
  std::size_t offset[kFieldCount] = {};  // of each field in a row
  int index[kFieldCount] = {};           // property index, -1 when absent
  PlyType type[kFieldCount] = {};

  double field(const unsigned char* row_, int f) const {
    return readBinary(row_ + offset[f], type[f]);
  }
  // The surface and frame of a row, 0 when the file has no such property.
  std::uint64_t place(const unsigned char* row_) const {
    const std::uint64_t s =
        index[kSurface] < 0 ? 0 : std::uint64_t(field(row_, kSurface));
    const std::uint64_t f =
        index[kFrame] < 0 ? 0 : std::uint64_t(field(row_, kFrame));
    return (s << 32) | f;
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
  // Blocks of 1 MiB at least, so that the file is read in few calls.
  if (_buffer.size() < bytes) {
    _buffer.resize(std::max({bytes, _buffer.size() * 2, std::size_t(1) << 20}));
  }
  _in.read(reinterpret_cast<char*>(_buffer.data() + _end),
           std::streamsize(_buffer.size() - _end));
  _end += std::size_t(_in.gcount());
  return _end - _begin >= bytes;
}

std::unique_ptr<PlyFrameSource> PlyFrameSource::open(
    const std::filesystem::path& path, const std::string& name) {
  std::unique_ptr<PlyFrameSource> source(new PlyFrameSource());
  source->_name = name;
  std::ifstream& in = source->_in;
  in.open(path, std::ios::binary);
  if (!in) return nullptr;  // the whole-file read names the reason

  // The header: everything up to and with the line "end_header".
  std::string head;
  std::size_t headerBytes = 0;
  char block[1 << 14];
  while (headerBytes == 0) {
    in.read(block, sizeof block);
    const std::size_t got = std::size_t(in.gcount());
    if (got == 0) return nullptr;
    const std::size_t from = head.size() > 12 ? head.size() - 12 : 0;
    head.append(block, got);
    if (head.compare(0, 4, "ply\n") != 0 && head.compare(0, 5, "ply\r\n") != 0) {
      if (head.size() >= 5) return nullptr;
      continue;
    }
    const std::size_t at = head.find("\nend_header", from);
    if (at != std::string::npos) {
      const std::size_t eol = head.find('\n', at + 1);
      if (eol != std::string::npos) headerBytes = eol + 1;
    }
    if (head.size() > kMaxHeaderBytes) return nullptr;
  }
  LineReader lines(std::string_view(head).substr(0, headerBytes));
  const PlyHeader header = parsePlyHeader(lines, name);
  if (header.format != PlyFormat::kBinaryLittleEndian) return nullptr;

  std::error_code error;
  const std::uintmax_t fileSize = std::filesystem::file_size(path, error);
  if (error || fileSize < headerBytes) return nullptr;
  const std::size_t dataSize = std::size_t(fileSize - headerBytes);

  auto layout = std::make_unique<Layout>();
  std::size_t at = 0, vertexStart = 0;
  std::vector<std::size_t> frames = header.declaredFrames;
  std::uint64_t count = 0;
  bool badIndex = false;
  PointRecord firstBad{};
  for (const PlyElement& element : header.elements) {
    if (element.hasLists()) return nullptr;
    const std::size_t fixed = element.fixedSize();
    checkRowsFit(element, fixed, dataSize - at, name);
    if (fixed == 0) continue;
    if (element.name != "vertex") {
      at += std::size_t(element.count) * fixed;
      continue;
    }
    // Every row is checked now, as the whole-set reader checks them.
    layout->vertex = element;
    layout->row = fixed;
    const VertexFields fields(element);
    for (int f = 0; f < kFieldCount; ++f) {
      layout->index[f] = fields.index[f];
      layout->type[f] = fields.type[f];
      std::size_t offset = 0;
      for (int i = 0; i < fields.index[f]; ++i) {
        offset += sizeOf(element.properties[std::size_t(i)].type);
      }
      layout->offset[f] = offset;
    }
    count = element.count;
    const std::size_t limit = std::max(std::size_t(count), kStructureFloor);
    vertexStart = at;
    in.clear();
    in.seekg(std::streamoff(headerBytes + at));
    std::vector<double> values(element.properties.size(), 0.0);
    std::uint64_t last = 0;
    for (std::uint64_t row = 0; row < count; ++row, at += fixed) {
      if (!source->fill(fixed)) return nullptr;  // the file changed
      const unsigned char* bytes = source->_buffer.data() + source->_begin;
      for (int f = 0; f < kFieldCount; ++f) {
        if (fields.index[f] >= 0) {
          values[std::size_t(fields.index[f])] = layout->field(bytes, f);
        }
      }
      source->_begin += fixed;
      PointRecord p;
      const int wrong = decodeVertex(values.data(), fields, p);
      if (wrong >= 0) {
        fail(name, "vertex " + std::to_string(row) + " (byte offset " +
                       std::to_string(headerBytes + at) + "): " +
                       wrongField(wrong, values[fields.index[wrong]]));
      }
      const std::uint64_t place = (std::uint64_t(p.surface) << 32) | p.frame;
      if (place < last) return nullptr;  // not in scan order
      last = place;
      if (badIndex) continue;
      if (p.surface >= limit || p.frame >= limit) {
        badIndex = true;
        firstBad = p;
        continue;
      }
      if (p.surface >= frames.size()) frames.resize(std::size_t(p.surface) + 1, 0);
      frames[p.surface] = std::max(frames[p.surface], std::size_t(p.frame) + 1);
    }
  }
  if (at != dataSize) {
    fail(name, std::to_string(dataSize - at) +
                   " bytes after the last element (a wrong count in the "
                   "header?)");
  }
  const std::size_t limit = std::max(std::size_t(count), kStructureFloor);
  if (badIndex) {
    fail(name, "point in surface " + std::to_string(firstBad.surface) +
                   ", frame " + std::to_string(firstBad.frame) +
                   ": more surfaces or frames than a file of " +
                   std::to_string(count) + " points may hold");
  }
  std::size_t structures = frames.size();
  for (std::size_t f : frames) structures += f;
  if (structures > limit) {
    fail(name, "declares " + std::to_string(structures) +
                   " surfaces and frames, more than a file of " +
                   std::to_string(count) + " points may hold");
  }

  source->_frames = std::move(frames);
  source->_columns.graysum = layout->index[kGraysum] >= 0;
  source->_columns.pixels =
      layout->index[kLowPixel] >= 0 || layout->index[kHighPixel] >= 0;
  source->_points = source->_rowsLeft = count;
  source->_layout = std::move(layout);
  in.clear();
  in.seekg(std::streamoff(headerBytes + vertexStart));
  source->_begin = source->_end = 0;
  return source;
}

void PlyFrameSource::readFrame(std::size_t surface, std::size_t frame,
                               ScanLine& line) {
  const Layout& layout = *_layout;
  const std::size_t row = layout.row;
  const std::uint64_t place = (std::uint64_t(surface) << 32) | frame;
  // The rows of this frame follow one another (checked by open()).
  std::size_t n = 0;
  while (n < _rowsLeft && fill((n + 1) * row) &&
         layout.place(_buffer.data() + _begin + n * row) == place) {
    ++n;
  }
  if (n == 0) return;
  line.getPoints().reserveBlock(n);
  if (_columns.graysum || _columns.pixels) {
    ScanPoint::createExtensionLists(line.getPoints().data(), n);
  }
  const unsigned char* bytes = _buffer.data() + _begin;
  for (std::size_t i = 0; i < n; ++i, bytes += row) {
    ScanPoint* point = line.getPoint(i);
    point->setPosition(layout.field(bytes, kX), layout.field(bytes, kY),
                       layout.field(bytes, kZ));
    if (_columns.graysum) {
      point->emplaceItem<ScanPointGraysumData>()->setGraysum(
          std::uint32_t(layout.field(bytes, kGraysum)));
    }
    if (_columns.pixels) {
      auto* item = point->emplaceItem<ScanPointTPData>();
      if (layout.index[kLowPixel] >= 0)
        item->setLowPixel(std::uint32_t(layout.field(bytes, kLowPixel)));
      if (layout.index[kHighPixel] >= 0)
        item->setHighPixel(std::uint32_t(layout.field(bytes, kHighPixel)));
    }
  }
  _begin += n * row;
  _rowsLeft -= n;
}

}  // namespace scanfile

}  // namespace QUAX
