// SPDX-License-Identifier: MIT
#include "acquire/profile/PixelFormat.h"

#include <cstdint>

#include "acquire/AcquireErrors.h"

namespace QUAX {

namespace {

struct Known {
  PixelFormat format;
  const char* name;
};
constexpr Known kKnown[] = {
    {PixelFormat::kMono8, "Mono8"},
    {PixelFormat::kMono12, "Mono12"},
    {PixelFormat::kMono16, "Mono16"},
    {PixelFormat::kCoord3D_C16, "Coord3D_C16"},
    {PixelFormat::kCoord3D_ABC32f, "Coord3D_ABC32f"},
};

}  // namespace

bool isImageFormat(PixelFormat format) noexcept {
  return format == PixelFormat::kMono8 || format == PixelFormat::kMono12 ||
         format == PixelFormat::kMono16;
}

bool isProfileFormat(PixelFormat format) noexcept {
  return format == PixelFormat::kCoord3D_C16 ||
         format == PixelFormat::kCoord3D_ABC32f;
}

std::size_t bytesPerPixel(PixelFormat format) noexcept {
  switch (format) {
    case PixelFormat::kMono8:
      return 1;
    case PixelFormat::kMono12:
    case PixelFormat::kMono16:
    case PixelFormat::kCoord3D_C16:
      return 2;
    case PixelFormat::kCoord3D_ABC32f:
      return 12;
  }
  return 1;
}

std::uint32_t maxPixelValue(PixelFormat format) noexcept {
  switch (format) {
    case PixelFormat::kMono8:
      return 255;
    case PixelFormat::kMono12:
      return 4095;
    default:
      return 65535;
  }
}

std::string pixelFormatName(PixelFormat format) {
  for (const Known& k : kKnown)
    if (k.format == format) return k.name;
  return "unknown";
}

bool pixelFormatFromCode(std::uint32_t code, PixelFormat& format) noexcept {
  for (const Known& k : kKnown) {
    if (static_cast<std::uint32_t>(k.format) == code) {
      format = k.format;
      return true;
    }
  }
  return false;
}

bool pixelFormatFromName(const std::string& name,
                         PixelFormat& format) noexcept {
  for (const Known& k : kKnown) {
    if (name == k.name) {
      format = k.format;
      return true;
    }
  }
  return false;
}

ImageView ImageView::of(const void* data, std::size_t size, PixelFormat format,
                        std::uint32_t width, std::uint32_t height,
                        std::size_t rowBytes) {
  const std::size_t packed = static_cast<std::size_t>(width) *
                             bytesPerPixel(format);
  if (rowBytes == 0) rowBytes = packed;
  if (width == 0 || height == 0) {
    throw EAcquireBadSettings("image of " + std::to_string(width) + " x " +
                              std::to_string(height) +
                              " pixels: it has no pixels");
  }
  if (rowBytes < packed) {
    throw EAcquireBadSettings("image rows of " + std::to_string(rowBytes) +
                              " bytes cannot hold " + std::to_string(width) +
                              " " + pixelFormatName(format) + " pixels");
  }
  // Checked so that the product cannot wrap.
  const std::size_t need = packed;
  const std::size_t rowsBefore = static_cast<std::size_t>(height) - 1;
  if (data == nullptr || size < need ||
      (rowsBefore != 0 && (size - need) / rowsBefore < rowBytes)) {
    throw EAcquireBadSettings(
        "a buffer of " + std::to_string(size) + " bytes cannot hold " +
        std::to_string(width) + " x " + std::to_string(height) + " " +
        pixelFormatName(format) + " pixels");
  }
  // 16-bit and float pixels are read in place, so they must be aligned.
  const std::size_t align = format == PixelFormat::kMono8 ? 1
                            : format == PixelFormat::kCoord3D_ABC32f ? 4
                                                                      : 2;
  if (reinterpret_cast<std::uintptr_t>(data) % align != 0 ||
      rowBytes % align != 0) {
    throw EAcquireBadSettings(pixelFormatName(format) +
                              " pixels must start on a multiple of " +
                              std::to_string(align) + " bytes");
  }
  ImageView view;
  view.data = static_cast<const unsigned char*>(data);
  view.format = format;
  view.width = width;
  view.height = height;
  view.rowBytes = rowBytes;
  return view;
}

}  // namespace QUAX
