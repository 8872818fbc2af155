// SPDX-License-Identifier: MIT
// Writing PLY scan files, ASCII or binary little-endian.
#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "scan/io/ScanFileFormats.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace scanfile {
namespace {

// Stores `value` at `out` as little-endian bytes, whatever the host's order.
template <class Bits>
char* putLittleEndian(char* out, Bits value) {
  for (std::size_t i = 0; i < sizeof(Bits); ++i) {
    out[i] = char((value >> (8 * i)) & 0xff);
  }
  return out + sizeof(Bits);
}

char* putDouble(char* out, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return putLittleEndian(out, bits);
}

// How many points ahead the loops over items fetch a point's list.
constexpr std::size_t kPrefetchAhead = 8;

}  // namespace

std::string plyHeader(bool binary,
                      const std::vector<std::size_t>& framesPerSurface,
                      std::size_t points, PlyColumns columns) {
  std::string header = "ply\nformat ";
  header += binary ? "binary_little_endian" : "ascii";
  header +=
      " 1.0\n"
      "comment QUAX scan set written by quaxscan: points in scan order, each "
      "with its surface and frame\n";
  for (std::size_t s = 0; s < framesPerSurface.size(); ++s) {
    header += "comment surface ";
    appendNumber(header, std::uint64_t(s));
    header += " frames ";
    appendNumber(header, std::uint64_t(framesPerSurface[s]));
    header += '\n';
  }
  header += "element vertex ";
  appendNumber(header, std::uint64_t(points));
  header +=
      "\nproperty double x\nproperty double y\nproperty double z\n"
      "property int surface\nproperty int frame\n";
  if (columns.graysum) header += "property uint graysum\n";
  if (columns.pixels) {
    header += "property uint low_pixel\nproperty uint high_pixel\n";
  }
  header += "end_header\n";
  return header;
}

void appendPlyRows(std::string& out, bool binary, std::size_t surface,
                   std::size_t frame, const ScanLine& line,
                   PlyColumns columns) {
  const std::size_t count = line.getPointCount();
  if (binary) {
    const std::size_t row = plyRowBytes(columns);
    std::size_t at = out.size();
    out.resize(at + count * row);
    const bool withItems = columns.graysum || columns.pixels;
    for (std::size_t i = 0; i < count; ++i) {
      if (withItems) prefetchItems(line, i + kPrefetchAhead);
      const ScanPoint& p = *line.getPoint(i);
      char* o = &out[at];
      o = putDouble(o, p.position().x());
      o = putDouble(o, p.position().y());
      o = putDouble(o, p.position().z());
      o = putLittleEndian(o, std::uint32_t(surface));
      o = putLittleEndian(o, std::uint32_t(frame));
      if (columns.graysum || columns.pixels) {
        const PointItems items = itemsOf(p, columns);
        if (columns.graysum) o = putLittleEndian(o, items.graysum);
        if (columns.pixels) {
          o = putLittleEndian(o, items.lowPixel);
          putLittleEndian(o, items.highPixel);
        }
      }
      at += row;
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const ScanPoint& p = *line.getPoint(i);
    const _GeoPoint<double>& xyz = p.position();
    appendNumber(out, xyz.x());
    out += ' ';
    appendNumber(out, xyz.y());
    out += ' ';
    appendNumber(out, xyz.z());
    out += ' ';
    appendNumber(out, std::uint64_t(surface));
    out += ' ';
    appendNumber(out, std::uint64_t(frame));
    if (columns.graysum || columns.pixels) {
      const PointItems items = itemsOf(p, columns);
      if (columns.graysum) {
        out += ' ';
        appendNumber(out, std::uint64_t(items.graysum));
      }
      if (columns.pixels) {
        out += ' ';
        appendNumber(out, std::uint64_t(items.lowPixel));
        out += ' ';
        appendNumber(out, std::uint64_t(items.highPixel));
      }
    }
    out += '\n';
  }
}

void writePly(const ScanSet& set, bool binary, std::ostream& out) {
  // A first walk counts the points and finds the columns; items are looked
  // up without exceptions, so walking twice costs little.
  std::size_t count = 0;
  PlyColumns columns;
  forEachLine(set, [&](const ScanLine& line) {
    const std::size_t n = line.getPointCount();
    count += n;
    // Only the columns not found yet are looked up.
    for (std::size_t i = 0; i < n && !(columns.graysum && columns.pixels);
         ++i) {
      prefetchItems(line, i + kPrefetchAhead);
      const ExtensionList* list = line.getPoint(i)->extensionList();
      if (list == nullptr) continue;
      if (!columns.graysum) {
        columns.graysum =
            list->findItemIfPresent(ScanPointGraysumData::GraysumDataKey) !=
            nullptr;
      }
      if (!columns.pixels) {
        columns.pixels =
            list->findItemIfPresent(ScanPointTPData::TPDataKey) != nullptr;
      }
    }
  });
  std::vector<std::size_t> frames(set.getSurfaceCount());
  for (std::size_t s = 0; s < frames.size(); ++s) {
    frames[s] = set.getSurface(s)->getFrameCount();
  }
  std::string buffer = plyHeader(binary, frames, count, columns);
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    for (std::size_t f = 0; f < surface->getFrameCount(); ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      appendPlyRows(buffer, binary, s, f, *frame->getScanLine(), columns);
      flushIfLarge(buffer, out);
    }
  }
  out.write(buffer.data(), std::streamsize(buffer.size()));
}

}  // namespace scanfile
}  // namespace QUAX
