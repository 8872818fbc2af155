// SPDX-License-Identifier: MIT
// The camera pixel formats the acquisition reads, with their GenICam (PFNC)
// codes, and a checked view of one buffer's pixels.
#ifndef QUAX_ACQUIRE_PROFILE_PIXELFORMAT_H_
#define QUAX_ACQUIRE_PROFILE_PIXELFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "acquire/QUAXAcquireExport.h"

namespace QUAX {

// Values are the GenICam pixel format naming convention's codes, as a
// camera's PixelFormat feature reports them.
enum class PixelFormat : std::uint32_t {
  kMono8 = 0x01080001,
  kMono12 = 0x01100005,  // unpacked: one 16-bit word per pixel, 0 to 4095
  kMono16 = 0x01100007,
  kCoord3D_C16 = 0x011000B8,     // one 16-bit C (range) value per column
  kCoord3D_ABC32f = 0x026000C0,  // three 32-bit floats (A, B, C) per column
};

// True for the image formats the line finder reads (Mono8/12/16).
QUAX_ACQUIRE_API bool isImageFormat(PixelFormat format) noexcept;
// True for the 3D formats a profile camera sends.
QUAX_ACQUIRE_API bool isProfileFormat(PixelFormat format) noexcept;
// Bytes of one pixel (column) of the format.
QUAX_ACQUIRE_API std::size_t bytesPerPixel(PixelFormat format) noexcept;
// The largest value of an image format's pixel (255, 4095, 65535).
QUAX_ACQUIRE_API std::uint32_t maxPixelValue(PixelFormat format) noexcept;
// The GenICam name ("Mono8", "Coord3D_C16", ...).
QUAX_ACQUIRE_API std::string pixelFormatName(PixelFormat format);
// The format of a GenICam code or name; false when the acquisition cannot
// read it.
QUAX_ACQUIRE_API bool pixelFormatFromCode(std::uint32_t code,
                                          PixelFormat& format) noexcept;
QUAX_ACQUIRE_API bool pixelFormatFromName(const std::string& name,
                                          PixelFormat& format) noexcept;

// The pixels of one buffer: `height` rows of `width` pixels, row r starting
// `rowBytes` bytes after row r - 1. The view does not own the pixels.
struct QUAX_ACQUIRE_API ImageView {
  const unsigned char* data = nullptr;
  PixelFormat format = PixelFormat::kMono8;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t rowBytes = 0;

  // A view of `size` bytes; rowBytes 0 means rows follow without padding.
  // Throws EAcquireBadSettings when the pixels would not fit in `size`
  // bytes, so that nothing reads past the buffer.
  static ImageView of(const void* data, std::size_t size, PixelFormat format,
                      std::uint32_t width, std::uint32_t height,
                      std::size_t rowBytes = 0);
  const unsigned char* row(std::uint32_t r) const noexcept {
    return data + static_cast<std::size_t>(r) * rowBytes;
  }
};

}  // namespace QUAX

#endif  // QUAX_ACQUIRE_PROFILE_PIXELFORMAT_H_
