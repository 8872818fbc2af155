// SPDX-License-Identifier: MIT
// Internal to the PLY readers (PlyReader.cpp, PlyFrameSource.cpp): where the
// fields of a vertex row sit, and how a row is decoded and checked. Not
// installed.
#ifndef QUAX_SCAN_IO_PLYROWS_H_
#define QUAX_SCAN_IO_PLYROWS_H_

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "scan/io/PlyHeader.h"
#include "scan/io/ScanFileFormats.h"

namespace QUAX {
namespace scanfile {

// What is wrong when `element`'s binary rows of at least `fixed` bytes
// cannot fit in the `left` bytes that follow, or an empty text. Checked
// before anything is allocated for the rows.
inline std::string rowsFitError(const PlyElement& element, std::size_t fixed,
                                std::size_t left) {
  if (fixed == 0 || element.count <= left / fixed) return std::string();
  return "header line " + std::to_string(element.headerLine) + ": element '" +
         element.name + "' declares " + std::to_string(element.count) +
         " rows of at least " + std::to_string(fixed) + " bytes, but only " +
         std::to_string(left) + " bytes follow";
}

inline void checkRowsFit(const PlyElement& element, std::size_t fixed,
                         std::size_t left, const std::string& name) {
  const std::string error = rowsFitError(element, fixed, left);
  if (!error.empty()) fail(name, error);
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
inline double topOf(int field) {
  return field <= kFrame ? double(INT32_MAX) : double(UINT32_MAX);
}

// What is wrong with field `f` of a vertex, whose value is `v`.
inline std::string wrongField(int f, double v) {
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

// How an error names binary vertex `row`, which starts at byte `offset` of
// the file: "vertex 3 (byte offset 150): ".
inline std::string vertexAt(std::uint64_t row, std::uint64_t offset) {
  return "vertex " + std::to_string(row) + " (byte offset " +
         std::to_string(offset) + "): ";
}

// Checks a whole-number field's value `v` and stores it in `out`.
inline bool storeWhole(double v, int f, std::uint32_t& out) {
  // In range first, so that the conversion is defined (and cheaper than
  // std::floor, a library call on plain x86-64).
  if (!(v >= 0.0 && v <= topOf(f) && v == double(std::uint32_t(v)))) {
    return false;
  }
  out = std::uint32_t(v);
  return true;
}

// Stores the whole fields read into `p`.
inline void storeWholeFields(const std::uint32_t* whole, PointRecord& p) {
  p.surface = whole[kSurface];
  p.frame = whole[kFrame];
  p.graysum = whole[kGraysum];
  p.lowPixel = whole[kLowPixel];
  p.highPixel = whole[kHighPixel];
}

// The first of x, y and z that is not finite (its value to `bad`), or -1.
inline int firstNonFiniteCoordinate(const PointRecord& p, double& bad) {
  const double xyz[3] = {p.x, p.y, p.z};
  for (int f = kX; f <= kZ; ++f) {
    if (!std::isfinite(xyz[f])) {
      bad = xyz[f];
      return f;
    }
  }
  return -1;
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
    if (!storeWhole(values[fields.index[f]], f, whole[f])) return f;
  }
  storeWholeFields(whole, p);
  return -1;
}

// A binary vertex row: the byte offset and type of each field.
struct RowLayout {
  std::size_t row = 0;                   // bytes of a row
  std::size_t offset[kFieldCount] = {};  // of each field in a row
  int index[kFieldCount] = {-1, -1, -1, -1, -1, -1, -1, -1};  // -1: absent
  PlyType type[kFieldCount] = {};

  RowLayout() = default;
  explicit RowLayout(const PlyElement& vertex) : row(vertex.fixedSize()) {
    const VertexFields fields(vertex);
    for (int f = 0; f < kFieldCount; ++f) {
      index[f] = fields.index[f];
      type[f] = fields.type[f];
      for (int i = 0; i < fields.index[f]; ++i) {
        offset[f] += sizeOf(vertex.properties[std::size_t(i)].type);
      }
    }
  }

  // Whether the row is of the layout this library writes: double
  // coordinates and 32-bit whole fields, which decodePlain reads without
  // converting the whole fields to double.
  bool isPlain() const {
    for (int f = kX; f <= kZ; ++f) {
      if (type[f] != PlyType::kFloat64) return false;
    }
    for (int f = kSurface; f < kFieldCount; ++f) {
      if (index[f] >= 0 && type[f] != PlyType::kInt32 &&
          type[f] != PlyType::kUInt32) {
        return false;
      }
    }
    return true;
  }

  double field(const unsigned char* r, int f) const {
    return readBinary(r + offset[f], type[f]);
  }
  // Decodes and checks the row at `r` as decodeVertex does, straight from
  // its bytes; the value of a wrong field goes to `bad`.
  int decode(const unsigned char* r, PointRecord& p, double& bad) const {
    p = PointRecord{};
    p.x = field(r, kX);
    p.y = field(r, kY);
    p.z = field(r, kZ);
    const int coordinate = firstNonFiniteCoordinate(p, bad);
    if (coordinate >= 0) return coordinate;
    std::uint32_t whole[kFieldCount] = {};
    for (int f = kSurface; f < kFieldCount; ++f) {
      if (index[f] < 0) continue;
      const double v = field(r, f);
      if (!storeWhole(v, f, whole[f])) {
        bad = v;
        return f;
      }
    }
    storeWholeFields(whole, p);
    return -1;
  }
  // decode() for a layout where isPlain() holds: the same results and
  // errors.
  int decodePlain(const unsigned char* r, PointRecord& p, double& bad) const {
    p.x = loadDouble(r + offset[kX]);
    p.y = loadDouble(r + offset[kY]);
    p.z = loadDouble(r + offset[kZ]);
    const int coordinate = firstNonFiniteCoordinate(p, bad);
    if (coordinate >= 0) return coordinate;
    std::uint32_t whole[kFieldCount] = {};
    for (int f = kSurface; f < kFieldCount; ++f) {
      if (index[f] < 0) continue;
      const std::uint32_t u = loadLittleEndian<std::uint32_t>(r + offset[f]);
      const bool isSigned = type[f] == PlyType::kInt32;
      // Signed fields hold at most INT32_MAX; surface and frame, whatever
      // their type, too.
      if ((isSigned || f <= kFrame) && u > std::uint32_t(INT32_MAX)) {
        bad = isSigned ? double(std::int32_t(u)) : double(u);
        return f;
      }
      whole[f] = u;
    }
    storeWholeFields(whole, p);
    return -1;
  }

 private:
  static double loadDouble(const unsigned char* at) {
    const std::uint64_t bits = loadLittleEndian<std::uint64_t>(at);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
};

}  // namespace scanfile
}  // namespace QUAX

#endif  // QUAX_SCAN_IO_PLYROWS_H_
