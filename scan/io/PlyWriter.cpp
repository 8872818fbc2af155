// SPDX-License-Identifier: MIT
// Writing PLY scan files, ASCII or binary little-endian.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
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

namespace {

// Whether `list` holds items beyond the `found` ones of the wanted columns:
// then the columns not wanted are looked up in it.
void noteMissedColumns(const ExtensionList* list, const PointItems& found,
                       PlyColumns& missed) {
  if (list == nullptr ||
      list->size() <= std::size_t(found.hasGraysum) + found.hasPixels) {
    return;
  }
  const PointItems all = itemsOf(*list);
  missed.graysum = missed.graysum || (all.hasGraysum && !found.hasGraysum);
  missed.pixels = missed.pixels || (all.hasPixels && !found.hasPixels);
}

}  // namespace

char* putPlyRows(char* out, std::size_t surface, std::size_t frame,
                 const ScanLine& line, std::size_t first, std::size_t last,
                 PlyColumns columns, PlyColumns& missed) {
  const bool withItems = columns.graysum || columns.pixels;
  for (std::size_t i = first; i < last; ++i) {
    if (withItems) prefetchItems(line, i + kPrefetchAhead);
    const ScanPoint& p = *line.getPoint(i);
    out = putDouble(out, p.position().x());
    out = putDouble(out, p.position().y());
    out = putDouble(out, p.position().z());
    out = putLittleEndian(out, std::uint32_t(surface));
    out = putLittleEndian(out, std::uint32_t(frame));
    const PointItems items = itemsOf(p, columns);
    if (columns.graysum) out = putLittleEndian(out, items.graysum);
    if (columns.pixels) {
      out = putLittleEndian(out, items.lowPixel);
      out = putLittleEndian(out, items.highPixel);
    }
    noteMissedColumns(p.extensionList(), items, missed);
  }
  return out;
}

void PlyRowBlock::put(std::ostream& out, std::size_t surface,
                      std::size_t frame, const ScanLine& line,
                      PlyColumns columns, PlyColumns& missed) {
  if (!_bytes) _bytes = std::make_unique<char[]>(kBytes);
  const std::size_t row = plyRowBytes(columns);
  const std::size_t count = line.getPointCount();
  for (std::size_t first = 0; first < count;) {
    const std::size_t room = (kBytes - _used) / row;
    if (room == 0) {
      flush(out);
      continue;
    }
    const std::size_t last = std::min(count, first + room);
    const char* end = putPlyRows(_bytes.get() + _used, surface, frame, line,
                                 first, last, columns, missed);
    _used = std::size_t(end - _bytes.get());
    first = last;
  }
}

void PlyRowBlock::flush(std::ostream& out) {
  out.write(_bytes.get(), std::streamsize(_used));
  _used = 0;
}

PlyColumns appendPlyRows(std::string& out, bool binary, std::size_t surface,
                         std::size_t frame, const ScanLine& line,
                         PlyColumns columns) {
  const std::size_t count = line.getPointCount();
  PlyColumns missed;
  if (binary) {
    const std::size_t at = out.size();
    out.resize(at + count * plyRowBytes(columns));
    putPlyRows(&out[at], surface, frame, line, 0, count, columns, missed);
    return missed;
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
    const PointItems items = itemsOf(p, columns);
    noteMissedColumns(p.extensionList(), items, missed);
    {
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
  return missed;
}

namespace {

// The points of `set`, and its frames per surface, as its header counts them.
std::size_t pointCountOf(const ScanSet& set) {
  std::size_t count = 0;
  forEachLine(set, [&](const ScanLine& line) {
    count += line.getPointCount();
  });
  return count;
}
std::vector<std::size_t> framesOf(const ScanSet& set) {
  std::vector<std::size_t> frames(set.getSurfaceCount());
  for (std::size_t s = 0; s < frames.size(); ++s) {
    frames[s] = set.getSurface(s)->getFrameCount();
  }
  return frames;
}

// The columns of `set`: those of every point's items.
PlyColumns allColumns(const ScanSet& set) {
  PlyColumns columns;
  forEachLine(set, [&](const ScanLine& line) {
    const std::size_t n = line.getPointCount();
    // Only the columns not found yet are looked up.
    for (std::size_t i = 0; i < n && !(columns.graysum && columns.pixels);
         ++i) {
      prefetchItems(line, i + kPrefetchAhead);
      const ExtensionList* list = line.getPoint(i)->extensionList();
      if (list == nullptr) continue;
      const PointItems items = itemsOf(*list);
      columns.graysum = columns.graysum || items.hasGraysum;
      columns.pixels = columns.pixels || items.hasPixels;
    }
  });
  return columns;
}

// The columns of the first point that has items: most sets give every point
// the same items.
PlyColumns firstColumns(const ScanSet& set) {
  PlyColumns columns;
  bool found = false;
  forEachLine(set, [&](const ScanLine& line) {
    for (std::size_t i = 0; i < line.getPointCount() && !found; ++i) {
      const ExtensionList* list = line.getPoint(i)->extensionList();
      if (list == nullptr || list->empty()) continue;
      const PointItems items = itemsOf(*list);
      columns = {items.hasGraysum, items.hasPixels};
      found = true;
    }
  });
  return columns;
}

// Writes the header and the rows of `set` with `columns`; returns the
// columns missing from them that some point has items for.
PlyColumns writePlyRows(const ScanSet& set, bool binary, std::size_t count,
                        PlyColumns columns, std::ostream& out) {
  std::string buffer = plyHeader(binary, framesOf(set), count, columns);
  PlyRowBlock block;
  if (binary) out.write(buffer.data(), std::streamsize(buffer.size()));
  PlyColumns missed;
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    for (std::size_t f = 0; f < surface->getFrameCount(); ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      if (binary) {
        block.put(out, s, f, *frame->getScanLine(), columns, missed);
        continue;
      }
      const PlyColumns more = appendPlyRows(buffer, false, s, f,
                                            *frame->getScanLine(), columns);
      missed.graysum = missed.graysum || more.graysum;
      missed.pixels = missed.pixels || more.pixels;
      flushIfLarge(buffer, out);
    }
  }
  if (binary) {
    block.flush(out);
  } else {
    out.write(buffer.data(), std::streamsize(buffer.size()));
  }
  return missed;
}

}  // namespace

std::uint64_t binaryPlyBytes(const ScanSet& set) {
  const std::size_t count = pointCountOf(set);
  const PlyColumns columns = firstColumns(set);
  return plyHeader(true, framesOf(set), count, columns).size() +
         std::uint64_t(count) * plyRowBytes(columns);
}

void writePly(const ScanSet& set, bool binary, std::ostream& out) {
  const std::size_t count = pointCountOf(set);
  // Into a stream that can go back: the columns of the first point with
  // items, written again from the start (longer, so over every byte) when
  // a later point has items of another column. Otherwise every point is
  // looked at first.
  const std::ostream::pos_type start = out.tellp();
  if (start == std::ostream::pos_type(-1)) {
    writePlyRows(set, binary, count, allColumns(set), out);
    return;
  }
  PlyColumns columns = firstColumns(set);
  for (;;) {
    const PlyColumns missed = writePlyRows(set, binary, count, columns, out);
    if (!missed.graysum && !missed.pixels) return;
    columns.graysum = columns.graysum || missed.graysum;
    columns.pixels = columns.pixels || missed.pixels;
    out.seekp(start);
  }
}

}  // namespace scanfile
}  // namespace QUAX
