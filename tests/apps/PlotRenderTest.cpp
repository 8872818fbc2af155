// SPDX-License-Identifier: MIT
// The plot opened in a real browser: headless Chromium takes a screenshot of
// the SVG, and the picture must show the figure, not a blank or broken page.
// Skipped only where Chromium is not installed, unless
// QUAX_REQUIRE_BROWSER=1 (as scripts/test sets it), which makes that a
// failure.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "CommandRunner.h"

namespace quaxscan {
namespace {

std::uint32_t bigEndian32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int k = 0; k < 4; ++k) v = v << 8 | std::uint8_t(s[at + k]);
  return v;
}

// The pixels (`channels` bytes each, RGB first, rows top down) of the 8-bit
// RGB or RGBA, non-interlaced PNG that Chromium writes; empty with `why`
// otherwise.
std::vector<std::uint8_t> decodePng(const std::string& png,
                                    std::uint32_t& width, std::uint32_t& height,
                                    std::size_t& channels, std::string& why) {
  std::string idat;
  for (std::size_t at = 8, length = 0; at + 12 <= png.size();
       at += 12 + length) {
    length = bigEndian32(png, at);
    if (at + 12 + length > png.size()) break;
    if (png.compare(at + 4, 4, "IHDR") == 0) {
      width = bigEndian32(png, at + 8);
      height = bigEndian32(png, at + 12);
      // Colour type 2 (RGB) or 6 (RGBA), 8 bits deep, not interlaced.
      const int colour =
          png[at + 16] != 8 || png[at + 20] != 0 ? 0 : png[at + 17];
      channels = colour == 2 ? 3 : colour == 6 ? 4 : 0;
    } else if (png.compare(at + 4, 4, "IDAT") == 0) {
      idat += png.substr(at + 8, length);
    }
  }
  const std::size_t stride = width * channels;
  if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || channels == 0 ||
      width == 0 || height == 0 || width > 20000 || height > 20000) {
    why = "not a PNG of a kind this test reads";
    return {};
  }
  std::vector<std::uint8_t> raw((stride + 1) * height), pixels(stride * height);
  uLongf size = uLongf(raw.size());
  if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()),
                 uLong(idat.size())) != Z_OK ||
      size != raw.size()) {
    why = "image data do not inflate to the image's size";
    return {};
  }
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t filter = raw[y * (stride + 1)];
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* row = &pixels[y * stride];
    const std::uint8_t* up = y > 0 ? row - stride : nullptr;
    if (filter > 4) {
      why = "unknown PNG row filter";
      return {};
    }
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= channels ? row[i - channels] : 0;
      const int b = up ? up[i] : 0;
      const int c = up && i >= channels ? up[i - channels] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b),
                pc = std::abs(p - c);
      const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      const int predicted[] = {0, a, b, (a + b) / 2, paeth};
      row[i] = std::uint8_t(in[i] + predicted[filter]);
    }
  }
  return pixels;
}

class PlotInBrowser : public test::CommandTest {};

TEST_F(PlotInBrowser, ChromiumShowsTheFigure) {
  const test::Outcome which =
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
  for (const char* arguments :
       {"simulate --frames 60 --points 200 --seed 2 -o sim.ply",
        "plot sim.ply -o plot.svg --frames 10,40 --settings "
        "'" QUAX_SETTINGS_FILE "'"}) {
    const test::Outcome run = quaxscan(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
  }
  // A fresh profile, nothing from the network, a bounded run; on a loaded
  // machine Chromium now and then ends without writing the picture, so it
  // gets a second try.
  std::uint32_t width = 0, height = 0;
  std::size_t channels = 0;
  std::string why;
  std::vector<std::uint8_t> pixels;
  // The profile is this run's own: a Chromium child of an earlier run may
  // still be deleting files in an old one.
  const std::filesystem::path profile =
      _logs / ("profile-" + std::to_string(::getpid()));
  for (int attempt = 0; attempt < 2 && pixels.empty(); ++attempt) {
    std::error_code ignored;
    std::filesystem::remove_all(profile, ignored);
    const test::Outcome run =
        shell("timeout 120 '" + chromium +
              "' --headless --no-sandbox --disable-gpu --disable-quic "
              "--no-first-run --disable-background-networking "
              "--disable-component-update --disable-sync --user-data-dir='" +
              profile.string() + "' --window-size=1000,1200 --screenshot='" +
              path("plot.png").string() + "' 'file://" +
              path("plot.svg").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    pixels = decodePng(text("plot.png"), width, height, channels, why);
  }
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  ASSERT_FALSE(pixels.empty()) << why;
  EXPECT_EQ(width, 1000u);
  EXPECT_EQ(height, 1200u);
  // Drawn, not blank: many pixels off white, among them the surfaces'
  // blue and orange (half transparent) and the filtered lines' red.
  std::size_t inked = 0;
  bool blue = false, orange = false, red = false;
  std::set<std::uint32_t> colours;
  for (std::size_t p = 0; p < pixels.size(); p += channels) {
    const int r = pixels[p], g = pixels[p + 1], b = pixels[p + 2];
    inked += r < 235 || g < 235 || b < 235;
    colours.insert(std::uint32_t(r << 16 | g << 8 | b));
    blue = blue || (b - r > 50 && b > g);
    orange = orange || (r - b > 80 && r > g + 30 && g > b + 30);
    red = red || (r > 180 && g < 80 && b < 80);
  }
  const std::size_t total = std::size_t(width) * height;
  EXPECT_GT(inked, total / 20) << "too little drawn";
  EXPECT_LT(inked, total * 9 / 10) << "a page filled with one colour";
  EXPECT_GT(colours.size(), 50u);
  EXPECT_TRUE(blue) << "surface 0 not seen";
  EXPECT_TRUE(orange) << "surface 1 not seen";
  EXPECT_TRUE(red) << "filtered lines not seen";
}

}  // namespace
}  // namespace quaxscan
