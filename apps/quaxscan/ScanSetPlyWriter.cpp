// SPDX-License-Identifier: MIT
// Writing PLY scan files, ASCII or binary little-endian.
#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "apps/quaxscan/ScanSetFormats.h"

namespace quaxscan {
namespace detail {
namespace {

void appendLittleEndian(std::string& out, std::uint64_t bits,
                        std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(char((bits >> (8 * i)) & 0xff));
  }
}

void appendBinary(std::string& out, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  appendLittleEndian(out, bits, 8);
}

}  // namespace

void writePly(const QUAX::ScanSet& set, bool binary, std::ostream& out) {
  // The items of every point are looked up once: the item lists report a
  // missing item only by throwing, which costs far more than the writing.
  std::size_t count = 0;
  bool graysum = false, pixels = false;
  std::vector<PointItems> items;
  forEachPoint(set, [&](std::size_t, std::size_t, const QUAX::ScanPoint& p) {
    ++count;
    if (!p.hasExtensionList()) return;
    items.resize(count);
    items.back() = itemsOf(p);
    graysum = graysum || items.back().hasGraysum;
    pixels = pixels || items.back().hasPixels;
  });
  items.resize(count);

  std::string buffer;
  buffer += "ply\nformat ";
  buffer += binary ? "binary_little_endian" : "ascii";
  buffer +=
      " 1.0\n"
      "comment QUAX scan set written by quaxscan: points in scan order, each "
      "with its surface and frame\n";
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    buffer += "comment surface ";
    appendNumber(buffer, std::uint64_t(s));
    buffer += " frames ";
    appendNumber(buffer, std::uint64_t(set.getSurface(s)->getFrameCount()));
    buffer += '\n';
  }
  buffer += "element vertex ";
  appendNumber(buffer, std::uint64_t(count));
  buffer +=
      "\nproperty double x\nproperty double y\nproperty double z\n"
      "property int surface\nproperty int frame\n";
  if (graysum) buffer += "property uint graysum\n";
  if (pixels) buffer += "property uint low_pixel\nproperty uint high_pixel\n";
  buffer += "end_header\n";

  std::size_t index = 0;
  forEachPoint(set,
               [&](std::size_t s, std::size_t f, const QUAX::ScanPoint& p) {
                 const QUAX::_GeoPoint<double>& xyz = p.position();
                 const PointItems& item = items[index++];
                 if (binary) {
                   appendBinary(buffer, xyz.x());
                   appendBinary(buffer, xyz.y());
                   appendBinary(buffer, xyz.z());
                   appendLittleEndian(buffer, s, 4);
                   appendLittleEndian(buffer, f, 4);
                   if (graysum) appendLittleEndian(buffer, item.graysum, 4);
                   if (pixels) {
                     appendLittleEndian(buffer, item.lowPixel, 4);
                     appendLittleEndian(buffer, item.highPixel, 4);
                   }
                 } else {
                   appendNumber(buffer, xyz.x());
                   buffer += ' ';
                   appendNumber(buffer, xyz.y());
                   buffer += ' ';
                   appendNumber(buffer, xyz.z());
                   buffer += ' ';
                   appendNumber(buffer, std::uint64_t(s));
                   buffer += ' ';
                   appendNumber(buffer, std::uint64_t(f));
                   if (graysum) {
                     buffer += ' ';
                     appendNumber(buffer, std::uint64_t(item.graysum));
                   }
                   if (pixels) {
                     buffer += ' ';
                     appendNumber(buffer, std::uint64_t(item.lowPixel));
                     buffer += ' ';
                     appendNumber(buffer, std::uint64_t(item.highPixel));
                   }
                   buffer += '\n';
                 }
                 flushIfLarge(buffer, out);
               });
  out.write(buffer.data(), std::streamsize(buffer.size()));
}

}  // namespace detail
}  // namespace quaxscan
