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

namespace QUAX {

using namespace scanfile;

namespace {

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


}  // namespace scanfile

}  // namespace QUAX
