// SPDX-License-Identifier: MIT
// The plot opened in a real browser: headless Chromium takes a screenshot of
// the SVG, and the picture must show the figure, not a blank or broken page.
// Skipped only where Chromium is not installed, unless
// QUAX_REQUIRE_BROWSER=1 (as scripts/test sets it), which makes that a
// failure.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "CommandRunner.h"

namespace quaxscan {
namespace {

using test::CommandTest;
using test::Outcome;

struct Image {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // 3 bytes per pixel, rows top down
};

std::uint32_t bigEndian32(const std::string& s, std::size_t at) {
  return (std::uint32_t(std::uint8_t(s[at])) << 24) |
         (std::uint32_t(std::uint8_t(s[at + 1])) << 16) |
         (std::uint32_t(std::uint8_t(s[at + 2])) << 8) |
         std::uint32_t(std::uint8_t(s[at + 3]));
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Decodes the 8-bit RGB or RGBA, non-interlaced PNG that Chromium writes.
// Returns false with `why` for anything else.
bool decodePng(const std::string& png, Image& image, std::string& why) {
  if (png.size() < 33 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
    why = "not a PNG file";
    return false;
  }
  std::string idat;
  int channels = 0;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = bigEndian32(png, at);
    const std::string type = png.substr(at + 4, 4);
    if (at + 12 + length > png.size()) break;
    if (type == "IHDR") {
      image.width = bigEndian32(png, at + 8);
      image.height = bigEndian32(png, at + 12);
      const int depth = std::uint8_t(png[at + 16]);
      const int colour = std::uint8_t(png[at + 17]);
      const int interlace = std::uint8_t(png[at + 20]);
      channels = colour == 2 ? 3 : colour == 6 ? 4 : 0;
      if (depth != 8 || channels == 0 || interlace != 0) {
        why = "PNG of a kind this test does not read";
        return false;
      }
    } else if (type == "IDAT") {
      idat += png.substr(at + 8, length);
    }
    at += 12 + length;
  }
  const std::size_t stride = std::size_t(image.width) * std::size_t(channels);
  if (channels == 0 || image.width == 0 || image.height == 0 ||
      image.width > 20000 || image.height > 20000) {
    why = "no usable IHDR";
    return false;
  }
  std::vector<std::uint8_t> raw((stride + 1) * image.height);
  uLongf rawSize = uLongf(raw.size());
  if (uncompress(raw.data(), &rawSize,
                 reinterpret_cast<const Bytef*>(idat.data()),
                 uLong(idat.size())) != Z_OK ||
      rawSize != raw.size()) {
    why = "image data do not inflate to the image's size";
    return false;
  }
  std::vector<std::uint8_t> pixels(stride * image.height);
  for (std::size_t y = 0; y < image.height; ++y) {
    const std::uint8_t filter = raw[y * (stride + 1)];
    if (filter > 4) {
      why = "unknown PNG row filter";
      return false;
    }
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* row = &pixels[y * stride];
    const std::uint8_t* up = y > 0 ? &pixels[(y - 1) * stride] : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= std::size_t(channels) ? row[i - channels] : 0;
      const int b = up ? up[i] : 0;
      const int c = (up && i >= std::size_t(channels)) ? up[i - channels] : 0;
      const int predicted = filter == 1   ? a
                            : filter == 2 ? b
                            : filter == 3 ? (a + b) / 2
                            : filter == 4 ? paeth(a, b, c)
                                          : 0;
      row[i] = std::uint8_t(in[i] + predicted);
    }
  }
  image.rgb.resize(std::size_t(image.width) * image.height * 3);
  for (std::size_t p = 0; p < std::size_t(image.width) * image.height; ++p) {
    for (int k = 0; k < 3; ++k) {
      image.rgb[p * 3 + std::size_t(k)] =
          pixels[p * std::size_t(channels) + std::size_t(k)];
    }
  }
  return true;
}

class PlotInBrowser : public CommandTest {};

TEST_F(PlotInBrowser, ChromiumShowsTheFigure) {
  const Outcome which =
      shell("command -v chromium || command -v chromium-browser");
  if (which.status != 0 || which.out.empty()) {
    const char* required = std::getenv("QUAX_REQUIRE_BROWSER");
    if (required != nullptr && std::string(required) == "1") {
      FAIL()
          << "Chromium is required (QUAX_REQUIRE_BROWSER=1) but not installed";
    }
    GTEST_SKIP() << "Chromium is not installed (scripts/install-deps browser)";
  }
  const std::string chromium = which.out.substr(0, which.out.find('\n'));

  Outcome run =
      quaxscan("simulate --frames 60 --points 200 --seed 2 -o sim.ply");
  ASSERT_EQ(run.status, 0) << run.err;
  run = quaxscan(
      "plot sim.ply -o plot.svg --frames 10,40 --settings '" QUAX_SETTINGS_FILE
      "'");
  ASSERT_EQ(run.status, 0) << run.err;

  // A fresh profile, nothing from the network, a bounded run.
  run = shell("timeout 120 '" + chromium +
              "' --headless --no-sandbox --disable-gpu --disable-quic "
              "--no-first-run --disable-background-networking "
              "--disable-component-update --disable-sync "
              "--user-data-dir='" +
              (_logs / "profile").string() +
              "' --window-size=1000,1200 --screenshot='" +
              path("plot.png").string() + "' 'file://" +
              path("plot.svg").string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;

  Image image;
  std::string why;
  ASSERT_TRUE(decodePng(text("plot.png"), image, why)) << why;
  EXPECT_EQ(image.width, 1000u);
  EXPECT_EQ(image.height, 1200u);

  // Drawn, not blank: many pixels off white, among them the surfaces'
  // blue and orange and the filtered lines' red.
  std::size_t inked = 0;
  bool blue = false, orange = false, red = false;
  std::set<std::uint32_t> colours;
  for (std::size_t p = 0; p < image.rgb.size(); p += 3) {
    const int r = image.rgb[p], g = image.rgb[p + 1], b = image.rgb[p + 2];
    if (r < 235 || g < 235 || b < 235) ++inked;
    colours.insert(std::uint32_t(r << 16 | g << 8 | b));
    // The surfaces are drawn half transparent.
    blue = blue || (b - r > 50 && b > g);
    orange = orange || (r - b > 80 && r > g + 30 && g > b + 30);
    red = red || (r > 180 && g < 80 && b < 80);
  }
  const std::size_t total = std::size_t(image.width) * image.height;
  EXPECT_GT(inked, total / 20) << "too little drawn";
  EXPECT_LT(inked, total * 9 / 10) << "a page filled with one colour";
  EXPECT_GT(colours.size(), 50u);
  EXPECT_TRUE(blue) << "surface 0 not seen";
  EXPECT_TRUE(orange) << "surface 1 not seen";
  EXPECT_TRUE(red) << "filtered lines not seen";
}

}  // namespace
}  // namespace quaxscan
