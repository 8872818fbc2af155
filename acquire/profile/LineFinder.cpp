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

// Pass 1, row by row over all columns (the image's own order, which the
// compiler vectorises): each column's brightest pixel, the first on a
// plateau.
template <class Pixel>
inline void brightestPerColumn(const ImageView& image, std::uint32_t firstRow,
                               std::uint32_t rows, std::uint16_t* best,
                               std::uint16_t* at) {
  const std::uint32_t width = image.width;
  auto rowOf = [&](std::uint32_t r) {
    return reinterpret_cast<const Pixel*>(image.row(firstRow + r));
  };
  const Pixel* const base = rowOf(0);
  for (std::uint32_t c = 0; c < width; ++c) {
    best[c] = base[c];
    at[c] = 0;
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
}

// The settings as pass 2 reads them, for a region of `rows` rows.
struct ColumnRules {
  ColumnRules(const LineFinderSettings& s, std::uint32_t rows)
      : threshold(s.threshold),
        minWidth(s.minWidth),
        maxWidth(s.maxWidth == 0 ? rows : s.maxWidth),
        window(s.window),
        background(s.background),
        method(s.method) {}
  std::uint32_t threshold, minWidth, maxWidth, window, background;
  PeakMethod method;
};

// One column of the region, `stride` pixels from row to row.
template <class Pixel>
struct ColumnView {
  const Pixel* column;
  std::size_t stride;
  std::uint32_t operator()(std::uint32_t r) const {
    return column[static_cast<std::size_t>(r) * stride];
  }
};

// The centre of the run above the threshold, each edge interpolated to
// where the threshold is crossed (half a pixel out at the region's edge).
template <class Pixel>
inline double thresholdCentre(ColumnView<Pixel> px, std::uint32_t lo,
                              std::uint32_t hi, std::uint32_t rows,
                              std::uint32_t threshold) {
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
  return (left + right) / 2.0;
}

// The centre of gravity of the values above the background within
// `window` rows of the peak; no point where none is above it.
template <class Pixel>
inline double centreOfGravity(ColumnView<Pixel> px, std::uint32_t peak,
                              std::uint32_t rows, const ColumnRules& k) {
  const std::uint32_t from = peak > k.window ? peak - k.window : 0;
  const std::uint32_t to = std::min(rows - 1, peak + k.window);
  std::uint64_t sum = 0, moment = 0;
  for (std::uint32_t r = from; r <= to; ++r) {
    const std::uint32_t v = px(r);
    const std::uint64_t w = v > k.background ? v - k.background : 0;
    sum += w;
    moment += w * r;
  }
  return sum == 0 ? kNoPoint
                  : static_cast<double>(moment) / static_cast<double>(sum);
}

// The line's position in a column whose brightest pixel, at row `peak`,
// is above the threshold: no point when the run above the threshold
// around it is narrower or wider than the limits.
template <class Pixel>
inline double positionInColumn(const Pixel* column, std::size_t stride,
                               std::uint32_t peak, std::uint32_t rows,
                               const ColumnRules& k) {
  const ColumnView<Pixel> px{column, stride};
  std::uint32_t lo = peak, hi = peak;
  while (lo > 0 && px(lo - 1) > k.threshold) --lo;
  while (hi + 1 < rows && px(hi + 1) > k.threshold) ++hi;
  const std::uint32_t runWidth = hi - lo + 1;
  if (runWidth < k.minWidth || runWidth > k.maxWidth) return kNoPoint;
  switch (k.method) {
    case PeakMethod::kStrongest:
      return static_cast<double>(peak);
    case PeakMethod::kThresholdCentre:
      return thresholdCentre(px, lo, hi, rows, k.threshold);
    case PeakMethod::kCentreOfGravity:
      return centreOfGravity(px, peak, rows, k);
  }
  return kNoPoint;
}

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
  const std::size_t stride = image.rowBytes / sizeof(Pixel);
  const Pixel* const base = reinterpret_cast<const Pixel*>(image.row(firstRow));
  brightestPerColumn<Pixel>(image, firstRow, rows, best, at);

  // Pass 2, per column: only the few rows around the peak.
  const ColumnRules rules(_settings, rows);
  for (std::uint32_t c = 0; c < width; ++c) {
    positions[c] = best[c] <= rules.threshold
                       ? kNoPoint
                       : positionInColumn(base + c, stride, at[c], rows, rules);
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
