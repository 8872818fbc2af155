// SPDX-License-Identifier: MIT
// The line finder against a plain column-by-column reference on random
// images of every format and settings, its accuracy on a drawn Gaussian
// line, and what it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "acquire/AcquireErrors.h"
#include "acquire/profile/LineFinder.h"

namespace QUAX {
namespace {

// Pixels of any image format in 16-bit words (Mono8 narrowed on the way).
struct Image {
  PixelFormat format;
  std::uint32_t width, height;
  std::vector<std::uint16_t> pixels;  // row by row
  std::vector<std::uint8_t> bytes;    // Mono8 copy
  std::uint32_t at(std::uint32_t r, std::uint32_t c) const {
    return pixels[static_cast<std::size_t>(r) * width + c];
  }
  ImageView view() {
    if (format == PixelFormat::kMono8) {
      bytes.assign(pixels.begin(), pixels.end());
      return ImageView::of(bytes.data(), bytes.size(), format, width, height);
    }
    return ImageView::of(pixels.data(), pixels.size() * 2, format, width,
                         height);
  }
};

// The rules as the finder's documentation states them, one column at a time.
double reference(const Image& im, std::uint32_t first, std::uint32_t rows,
                 std::uint32_t c, const LineFinderSettings& s) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  auto px = [&](std::uint32_t r) { return im.at(first + r, c); };
  std::uint32_t peak = 0;
  for (std::uint32_t r = 1; r < rows; ++r)
    if (px(r) > px(peak)) peak = r;
  if (px(peak) <= s.threshold) return none;
  std::uint32_t lo = peak, hi = peak;
  while (lo > 0 && px(lo - 1) > s.threshold) --lo;
  while (hi + 1 < rows && px(hi + 1) > s.threshold) ++hi;
  const std::uint32_t width = hi - lo + 1;
  if (width < s.minWidth || (s.maxWidth != 0 && width > s.maxWidth))
    return none;
  if (s.method == PeakMethod::kStrongest) return peak;
  if (s.method == PeakMethod::kThresholdCentre) {
    const double t = s.threshold;
    const double left =
        lo == 0 ? lo - 0.5
                : (lo - 1) + (t - px(lo - 1)) / (double(px(lo)) - px(lo - 1));
    const double right =
        hi + 1 == rows
            ? hi + 0.5
            : hi + (px(hi) - t) / (double(px(hi)) - px(hi + 1));
    return (left + right) / 2;
  }
  double sum = 0, moment = 0;
  for (std::uint32_t r = 0; r < rows; ++r) {
    if (r + s.window < peak || r > peak + s.window) continue;
    const double w = px(r) > s.background ? px(r) - s.background : 0.0;
    sum += w;
    moment += w * r;
  }
  return sum == 0 ? none : moment / sum;
}

// A random image: per column a line (Gaussian, flat-topped or saturated) or
// nothing, a second fainter line now and then, and noise.
Image randomImage(std::mt19937& rng, PixelFormat format, std::uint32_t width,
                  std::uint32_t height) {
  Image im{format, width, height, {}, {}};
  im.pixels.resize(static_cast<std::size_t>(width) * height);
  const double top = maxPixelValue(format);
  std::uniform_real_distribution<double> unit(0, 1);
  const double noise = top * 0.03 * unit(rng);
  for (std::uint32_t c = 0; c < width; ++c) {
    const double centre = unit(rng) * height;
    const double sigma = 0.3 + 3 * unit(rng);
    const double peak = unit(rng) < 0.15 ? 0 : top * (0.2 + 1.2 * unit(rng));
    const double ghost = unit(rng) < 0.2 ? top * 0.6 * unit(rng) : 0;
    const double ghostAt = unit(rng) * height;
    for (std::uint32_t r = 0; r < height; ++r) {
      const double d = (r - centre) / sigma, g = (r - ghostAt) / 1.5;
      const double v = peak * std::exp(-0.5 * d * d) +
                       ghost * std::exp(-0.5 * g * g) + noise * unit(rng);
      im.pixels[static_cast<std::size_t>(r) * width + c] =
          static_cast<std::uint16_t>(std::min(top, std::round(v)));
    }
  }
  return im;
}

TEST(LineFinder, MatchesThePlainRulesOnRandomImagesAndSettings) {
  std::mt19937 rng(29);
  const PixelFormat formats[] = {PixelFormat::kMono8, PixelFormat::kMono12,
                                 PixelFormat::kMono16};
  for (int trial = 0; trial < 240; ++trial) {
    const PixelFormat format = formats[trial % 3];
    const std::uint32_t top = maxPixelValue(format);
    std::uniform_int_distribution<std::uint32_t> any(0, 1000);
    const std::uint32_t width = 1 + any(rng) % 70;
    const std::uint32_t region = 1 + any(rng) % 40;
    const std::uint32_t profiles = 1 + any(rng) % 3;
    Image im = randomImage(rng, format, width, region * profiles +
                                                   any(rng) % region);
    LineFinderSettings s;
    s.method = static_cast<PeakMethod>(trial % 3);
    s.threshold = static_cast<std::uint32_t>(top * (any(rng) % 600) / 1000);
    s.minWidth = 1 + any(rng) % 4;
    s.maxWidth = any(rng) % 3 == 0 ? 0 : s.minWidth + any(rng) % 10;
    s.window = any(rng) % 9;
    s.background = any(rng) % 2 == 0 ? 0 : s.threshold / 2 + any(rng) % 7;
    LineFinder finder(s, format);
    std::vector<double> found;
    ASSERT_EQ(finder.findProfiles(im.view(), region, found), profiles);
    for (std::uint32_t p = 0; p < profiles; ++p) {
      for (std::uint32_t c = 0; c < width; ++c) {
        const double want = reference(im, p * region, region, c, s);
        const double got = found[p * width + c];
        if (std::isnan(want)) {
          ASSERT_TRUE(std::isnan(got)) << trial << " p" << p << " c" << c;
        } else {
          ASSERT_NEAR(got, want, 1e-12) << trial << " p" << p << " c" << c;
        }
      }
    }
  }
}

// A Gaussian line of sigma 1.5 px drawn at a known sub-pixel row in every
// column (rounded to the format's integers) is found within 0.02 px in
// Mono8 and 0.002 px in Mono16 by the centre of gravity.
TEST(LineFinder, FindsADrawnGaussianLineToAFractionOfAPixel) {
  for (const auto& [format, tolerance] :
       {std::pair{PixelFormat::kMono8, 0.02},
        std::pair{PixelFormat::kMono16, 0.002}}) {
    const std::uint32_t width = 400, rows = 48;
    Image im{format, width, rows, {}, {}};
    im.pixels.resize(width * rows);
    std::vector<double> truth(width);
    const double top = 0.95 * maxPixelValue(format);
    for (std::uint32_t c = 0; c < width; ++c) {
      truth[c] = 10.0 + 28.0 * c / width + 0.37 * std::sin(c * 0.7);
      for (std::uint32_t r = 0; r < rows; ++r) {
        const double d = (r - truth[c]) / 1.5;
        im.pixels[r * width + c] =
            static_cast<std::uint16_t>(std::round(top * std::exp(-0.5 * d * d)));
      }
    }
    LineFinderSettings s;
    s.threshold = maxPixelValue(format) / 8;
    LineFinder finder(s, format);
    std::vector<double> found(width);
    finder.findProfile(im.view(), 0, rows, found.data());
    for (std::uint32_t c = 0; c < width; ++c)
      ASSERT_NEAR(found[c], truth[c], tolerance) << pixelFormatName(format) << c;
  }
}

TEST(LineFinder, RefusesSettingsAndRegionsItCannotRead) {
  LineFinderSettings s;
  s.threshold = 255;
  EXPECT_THROW(LineFinder(s, PixelFormat::kMono8), EAcquireBadSettings);
  EXPECT_NO_THROW(LineFinder(s, PixelFormat::kMono12));
  s = LineFinderSettings{};
  EXPECT_THROW(LineFinder(s, PixelFormat::kCoord3D_C16), EAcquireBadSettings);
  s.minWidth = 5;
  s.maxWidth = 4;
  EXPECT_THROW(LineFinder(s, PixelFormat::kMono8), EAcquireBadSettings);
  s.minWidth = 0;
  s.maxWidth = 0;
  EXPECT_THROW(LineFinder(s, PixelFormat::kMono8), EAcquireBadSettings);

  std::vector<std::uint16_t> pixels(10 * 8 + 1);
  EXPECT_THROW(ImageView::of(pixels.data(), 10 * 8 * 2 - 1,
                             PixelFormat::kMono16, 10, 8),
               EAcquireBadSettings);
  EXPECT_THROW(ImageView::of(reinterpret_cast<char*>(pixels.data()) + 1,
                             10 * 8 * 2, PixelFormat::kMono16, 10, 8),
               EAcquireBadSettings);
  EXPECT_THROW(ImageView::of(pixels.data(), pixels.size() * 2,
                             PixelFormat::kMono16, 10, 8, 19),
               EAcquireBadSettings);
  const ImageView view =
      ImageView::of(pixels.data(), 10 * 8 * 2, PixelFormat::kMono16, 10, 8);
  LineFinder finder(LineFinderSettings{}, PixelFormat::kMono16);
  std::vector<double> out(10);
  EXPECT_THROW(finder.findProfile(view, 4, 5, out.data()), EAcquireBadSettings);
  EXPECT_THROW(finder.findProfile(view, 0, 0, out.data()), EAcquireBadSettings);
  EXPECT_THROW(finder.findProfiles(view, 9, out), EAcquireBadSettings);
  LineFinder mono8(LineFinderSettings{}, PixelFormat::kMono8);
  EXPECT_THROW(mono8.findProfile(view, 0, 8, out.data()), EAcquireBadSettings);
  // An empty image: no point anywhere.
  finder.findProfile(view, 0, 8, out.data());
  for (double v : out) EXPECT_TRUE(std::isnan(v));
}

}  // namespace
}  // namespace QUAX
