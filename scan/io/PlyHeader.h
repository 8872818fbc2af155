// SPDX-License-Identifier: MIT
// The header of a PLY scan file (its elements and their properties' types,
// the vertex fields a scan set uses) and the reading of one typed value.
// Internal to the scan file readers.
#ifndef QUAX_SCAN_IO_PLYHEADER_H_
#define QUAX_SCAN_IO_PLYHEADER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "scan/io/ScanFileFormats.h"

namespace QUAX {
namespace scanfile {

enum class PlyType {
  kInt8,
  kUInt8,
  kInt16,
  kUInt16,
  kInt32,
  kUInt32,
  kFloat32,
  kFloat64
};

inline std::size_t sizeOf(PlyType type) {
  switch (type) {
    case PlyType::kInt8:
    case PlyType::kUInt8:
      return 1;
    case PlyType::kInt16:
    case PlyType::kUInt16:
      return 2;
    case PlyType::kInt32:
    case PlyType::kUInt32:
    case PlyType::kFloat32:
      return 4;
    case PlyType::kFloat64:
      return 8;
  }
  return 8;
}

inline bool isInteger(PlyType type) {
  return type != PlyType::kFloat32 && type != PlyType::kFloat64;
}

// The unsigned little-endian value at `p`, whatever the host's byte order:
// one load on little-endian hosts (the byte loop is not always turned into
// one), byte by byte elsewhere.
template <class Bits>
inline Bits loadLittleEndian(const unsigned char* p) {
  Bits bits = 0;
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || \
    defined(_WIN32)
  std::memcpy(&bits, p, sizeof bits);
#else
  for (std::size_t i = 0; i < sizeof(Bits); ++i) bits |= Bits(Bits(p[i]) << (8 * i));
#endif
  return bits;
}

// A little-endian value at `p`, whatever the host's byte order.
inline double readBinary(const unsigned char* p, PlyType type) {
  switch (type) {
    case PlyType::kInt8:
      return double(std::int8_t(p[0]));
    case PlyType::kUInt8:
      return double(p[0]);
    case PlyType::kInt16:
      return double(std::int16_t(loadLittleEndian<std::uint16_t>(p)));
    case PlyType::kUInt16:
      return double(loadLittleEndian<std::uint16_t>(p));
    case PlyType::kInt32:
      return double(std::int32_t(loadLittleEndian<std::uint32_t>(p)));
    case PlyType::kUInt32:
      return double(loadLittleEndian<std::uint32_t>(p));
    case PlyType::kFloat32: {
      const std::uint32_t bits = loadLittleEndian<std::uint32_t>(p);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return double(f);
    }
    case PlyType::kFloat64: {
      const std::uint64_t bits = loadLittleEndian<std::uint64_t>(p);
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
  }
  return 0.0;
}

// An ASCII value of `type`: integers as integers in the type's range.
bool parseAscii(std::string_view word, PlyType type, double& value);

struct PlyProperty {
  std::string name;
  PlyType type = PlyType::kFloat64;
  bool isList = false;
  PlyType countType = PlyType::kUInt8;
};

struct PlyElement {
  std::string name;
  std::uint64_t count = 0;
  std::vector<PlyProperty> properties;
  std::size_t headerLine = 0;

  bool hasLists() const {
    return std::any_of(properties.begin(), properties.end(),
                       [](const PlyProperty& p) { return p.isList; });
  }
  // Bytes of a binary row without its lists' items.
  std::size_t fixedSize() const {
    std::size_t size = 0;
    for (const PlyProperty& p : properties) {
      size += sizeOf(p.isList ? p.countType : p.type);
    }
    return size;
  }
};

enum class PlyFormat { kAscii, kBinaryLittleEndian };

struct PlyHeader {
  PlyFormat format = PlyFormat::kAscii;
  std::vector<PlyElement> elements;
  std::vector<std::size_t> declaredFrames;
  std::size_t dataLine = 0;  // the last header line, for ASCII line numbers
};

// Properties of the vertex element that a scan set uses.
enum Field {
  kX,
  kY,
  kZ,
  kSurface,
  kFrame,
  kGraysum,
  kLowPixel,
  kHighPixel,
  kFieldCount
};
inline constexpr const char* kFieldNames[kFieldCount] = {
    "x", "y", "z", "surface", "frame", "graysum", "low_pixel", "high_pixel"};

// Bounds on what a header may declare, so that its cost stays in proportion:
// a header line per surface (up to 65536 of them and more) fits, and so does
// any real element and property list.
inline constexpr std::size_t kMaxHeaderBytes = std::size_t(64) << 20;

// The header at the start of `lines`, checked: every element and property
// known, counts that fit, the vertex element holding what a scan set needs.
// Errors throw EScanFileError naming `name` and the header line.
PlyHeader parsePlyHeader(LineReader& lines, const std::string& name);

}  // namespace scanfile
}  // namespace QUAX

#endif  // QUAX_SCAN_IO_PLYHEADER_H_
