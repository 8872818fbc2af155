// SPDX-License-Identifier: MIT
#include "acquire/profile/LineFinder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "acquire/AcquireErrors.h"

namespace QUAX {

namespace {

constexpr double kNoPoint = std::numeric_limits<double>::quiet_NaN();

}  // namespace

LineFinder::LineFinder(const LineFinderSettings& settings, PixelFormat format)
    : _settings(settings), _format(format) {
  if (!isImageFormat(format)) {
    throw EAcquireBadSettings("the line finder reads Mono8, Mono12 or Mono16 "
                              "images, not " + pixelFormatName(format));
  }
  const std::uint32_t top = maxPixelValue(format);
  if (settings.threshold >= top) {
    throw EAcquireBadSettings(
        "line threshold " + std::to_string(settings.threshold) +
        " leaves no pixel value of " + pixelFormatName(format) +
        " above it (largest " + std::to_string(top) + ")");
  }
  if (settings.minWidth == 0 ||
      (settings.maxWidth != 0 && settings.maxWidth < settings.minWidth)) {
    throw EAcquireBadSettings(
        "line width limits " + std::to_string(settings.minWidth) + " to " +
        std::to_string(settings.maxWidth) +
        ": the minimum must be at least 1 and not above the maximum");
  }
  if (settings.method != PeakMethod::kStrongest &&
      settings.method != PeakMethod::kThresholdCentre &&
      settings.method != PeakMethod::kCentreOfGravity) {
    throw EAcquireBadSettings("unknown peak method " +
                              std::to_string(static_cast<std::uint32_t>(
                                  settings.method)));
  }
}

template <class Pixel>
void LineFinder::find(const ImageView& image, std::uint32_t firstRow,
                      std::uint32_t rows, double* positions) {
  const std::uint32_t width = image.width;
  if (_best.size() < width) {
    _best.resize(width);
    _row.resize(width);
  }
  std::uint16_t* const best = _best.data();
  std::uint16_t* const at = _row.data();
  auto rowOf = [&](std::uint32_t r) {
    return reinterpret_cast<const Pixel*>(image.row(firstRow + r));
  };

  // Pass 1, row by row over all columns (the image's own order, which the
  // compiler vectorises): each column's brightest pixel, the first on a
  // plateau.
  {
    const Pixel* p = rowOf(0);
    for (std::uint32_t c = 0; c < width; ++c) {
      best[c] = p[c];
      at[c] = 0;
    }
  }
  for (std::uint32_t r = 1; r < rows; ++r) {
    const Pixel* p = rowOf(r);
    const auto rr = static_cast<std::uint16_t>(r);
    for (std::uint32_t c = 0; c < width; ++c) {
      const std::uint16_t v = p[c];
      const bool brighter = v > best[c];
      best[c] = brighter ? v : best[c];
      at[c] = brighter ? rr : at[c];
    }
  }

  // Pass 2, per column: only the few rows around the peak.
  const std::uint32_t threshold = _settings.threshold;
  const std::uint32_t minWidth = _settings.minWidth;
  const std::uint32_t maxWidth =
      _settings.maxWidth == 0 ? rows : _settings.maxWidth;
  const std::uint32_t window = _settings.window;
  const std::uint32_t background = _settings.background;
  const PeakMethod method = _settings.method;
  const std::size_t stride = image.rowBytes / sizeof(Pixel);
  const Pixel* const base = rowOf(0);
  for (std::uint32_t c = 0; c < width; ++c) {
    if (best[c] <= threshold) {
      positions[c] = kNoPoint;
      continue;
    }
    const Pixel* column = base + c;
    auto px = [&](std::uint32_t r) -> std::uint32_t {
      return column[static_cast<std::size_t>(r) * stride];
    };
    const std::uint32_t peak = at[c];
    std::uint32_t lo = peak, hi = peak;
    while (lo > 0 && px(lo - 1) > threshold) --lo;
    while (hi + 1 < rows && px(hi + 1) > threshold) ++hi;
    const std::uint32_t runWidth = hi - lo + 1;
    if (runWidth < minWidth || runWidth > maxWidth) {
      positions[c] = kNoPoint;
      continue;
    }
    switch (method) {
      case PeakMethod::kStrongest:
        positions[c] = static_cast<double>(peak);
        break;
      case PeakMethod::kThresholdCentre: {
        double left = static_cast<double>(lo) - 0.5;
        if (lo > 0) {
          const double a = px(lo - 1), b = px(lo);
          left = static_cast<double>(lo - 1) + (threshold - a) / (b - a);
        }
        double right = static_cast<double>(hi) + 0.5;
        if (hi + 1 < rows) {
          const double b = px(hi), a = px(hi + 1);
          right = static_cast<double>(hi) + (b - threshold) / (b - a);
        }
        positions[c] = (left + right) / 2.0;
        break;
      }
      case PeakMethod::kCentreOfGravity: {
        const std::uint32_t from = peak > window ? peak - window : 0;
        const std::uint32_t to = std::min(rows - 1, peak + window);
        std::uint64_t sum = 0, moment = 0;
        for (std::uint32_t r = from; r <= to; ++r) {
          const std::uint32_t v = px(r);
          const std::uint64_t w = v > background ? v - background : 0;
          sum += w;
          moment += w * r;
        }
        positions[c] = sum == 0 ? kNoPoint
                                : static_cast<double>(moment) /
                                      static_cast<double>(sum);
        break;
      }
    }
  }
}

void LineFinder::findProfile(const ImageView& image, std::uint32_t firstRow,
                             std::uint32_t rows, double* positions) {
  if (image.format != _format) {
    throw EAcquireBadSettings("the line finder was set up for " +
                              pixelFormatName(_format) + ", not " +
                              pixelFormatName(image.format) + " images");
  }
  if (rows == 0 || rows > 65535 || firstRow > image.height ||
      rows > image.height - firstRow) {
    throw EAcquireBadSettings(
        "rows " + std::to_string(firstRow) + " to " +
        std::to_string(std::uint64_t(firstRow) + rows) +
        " are not a region of an image of " + std::to_string(image.height) +
        " rows (at most 65535 rows per profile)");
  }
  if (_format == PixelFormat::kMono8) {
    find<std::uint8_t>(image, firstRow, rows, positions);
  } else {
    find<std::uint16_t>(image, firstRow, rows, positions);
  }
}

std::uint32_t LineFinder::findProfiles(const ImageView& image,
                                       std::uint32_t regionRows,
                                       std::vector<double>& positions) {
  if (regionRows == 0 || regionRows > image.height) {
    throw EAcquireBadSettings("profiles of " + std::to_string(regionRows) +
                              " rows do not fit an image of " +
                              std::to_string(image.height) + " rows");
  }
  const std::uint32_t profiles = image.height / regionRows;
  positions.resize(static_cast<std::size_t>(profiles) * image.width);
  for (std::uint32_t p = 0; p < profiles; ++p) {
    findProfile(image, p * regionRows, regionRows,
                positions.data() + static_cast<std::size_t>(p) * image.width);
  }
  return profiles;
}

}  // namespace QUAX
