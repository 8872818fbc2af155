// SPDX-License-Identifier: MIT
// Reading PLY scan files: the rows after the header (PlyHeader.h), ASCII
// or binary little-endian, whole (PlyFrameSource.cpp reads binary files
// frame by frame).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "scan/model/ScanPointItems.h"

#include "scan/io/PlyHeader.h"
#include "scan/io/PlyRows.h"
#include "scan/io/ScanFileFormats.h"
#include "scan/io/ScanFile.h"
#include "scan/io/TextRows.h"

namespace QUAX {

using namespace scanfile;

namespace {

// Skips the rows of a binary element with lists, from `at`.
void skipListRows(const PlyElement& element, std::string_view data,
                  std::size_t& at, const std::string& name) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t count = std::size_t(element.count);
  for (std::size_t row = 0; row < count; ++row) {
    for (const PlyProperty& p : element.properties) {
      const std::size_t size = sizeOf(p.isList ? p.countType : p.type);
      const double items =
          data.size() - at < size ? -1.0
          : p.isList              ? readBinary(bytes + at, p.countType)
                                  : 0.0;
      if (items >= 0) at += size;
      if (items < 0 ||
          items * double(sizeOf(p.type)) > double(data.size() - at)) {
        fail(name, "the file ends inside element '" + element.name +
                       "' (row " + std::to_string(row + 1) + " of " +
                       std::to_string(count) + ")");
      }
      at += std::size_t(items) * sizeOf(p.type);
    }
  }
}

// Reads the rows of the binary vertex element at `at` into `points`.
void readBinaryVertices(const PlyElement& element, std::string_view data,
                        std::size_t& at, std::size_t dataStart,
                        std::vector<PointRecord>& points,
                        const std::string& name) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t count = std::size_t(element.count);
  const std::size_t fixed = element.fixedSize();
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
        values[std::size_t(i)] =
            readBinary(bytes + at + offsets[std::size_t(i)], fields.type[f]);
    }
    PointRecord p;
    const int wrong = decodeVertex(values.data(), fields, p);
    if (wrong >= 0) {
      fail(name, vertexAt(row, dataStart + at) +
                     wrongField(wrong, values[std::size_t(fields.index[wrong])]));
    }
    points.push_back(p);
  }
}

void readBinaryPlyData(const PlyHeader& header, std::string_view data,
                       std::size_t dataStart, std::vector<PointRecord>& points,
                       const std::string& name) {
  std::size_t at = 0;
  for (const PlyElement& element : header.elements) {
    const std::size_t fixed = element.fixedSize();
    checkRowsFit(element, fixed, data.size() - at, name);
    if (fixed == 0) continue;  // no properties: rows without bytes
    if (element.name == "vertex") {
      readBinaryVertices(element, data, at, dataStart, points, name);
    } else if (element.hasLists()) {
      skipListRows(element, data, at, name);
    } else {
      at += std::size_t(element.count) * fixed;
    }
  }
  if (at != data.size()) {
    fail(name, std::to_string(data.size() - at) +
                   " bytes after the last element (a wrong count in the "
                   "header?)");
  }
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
    readBinaryPlyData(header, data, dataStart, points, name);
  } else {
    LineReader lines(data);
    AsciiPlyRows<LineReader> rows(header, lines, firstLine, name);
    for (const PlyElement& element : header.elements) {
      // Reserved for rows of one digit per value at the most.
      if (element.name == "vertex" && !element.properties.empty()) {
        points.reserve(std::size_t(std::min<std::uint64_t>(
            element.count, data.size() / (2 * element.properties.size()))));
      }
    }
    PointRecord p;
    while (rows.next(p)) points.push_back(p);
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


}  // namespace scanfile

}  // namespace QUAX
