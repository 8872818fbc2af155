// SPDX-License-Identifier: MIT
// The plot opened in a real browser: headless Chromium draws the SVG into a
// canvas and counts its pixels, which must show the figure, not a blank or
// broken picture. Skipped only where Chromium is not installed, unless
// QUAX_REQUIRE_BROWSER=1 (as scripts/test sets it), which makes that a
// failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "CommandRunner.h"

namespace quaxscan {
namespace {

// Draws the SVG held by the element "svg" at its own size and writes into
// the element "result": width, height, pixels off white, distinct colours,
// and pixels of the surfaces' blue and orange (half transparent) and of the
// filtered lines' red.
const char kCountPixels[] = R"(
const image = new Image();
const result = document.getElementById('result');
image.onerror = () => { result.textContent = 'the SVG did not load'; };
image.onload = () => {
  const canvas = document.createElement('canvas');
  canvas.width = image.naturalWidth;
  canvas.height = image.naturalHeight;
  const context = canvas.getContext('2d');
  context.drawImage(image, 0, 0);
  const d = context.getImageData(0, 0, canvas.width, canvas.height).data;
  const colours = new Set();
  let inked = 0, blue = 0, orange = 0, red = 0;
  for (let p = 0; p < d.length; p += 4) {
    const r = d[p], g = d[p + 1], b = d[p + 2];
    if (r < 235 || g < 235 || b < 235) ++inked;
    colours.add(r << 16 | g << 8 | b);
    if (b - r > 50 && b > g) ++blue;
    if (r - b > 80 && r > g + 30 && g > b + 30) ++orange;
    if (r > 180 && g < 80 && b < 80) ++red;
  }
  result.textContent = [canvas.width, canvas.height, inked, colours.size,
                        blue, orange, red].join(' ');
};
image.src = URL.createObjectURL(new Blob(
    [document.getElementById('svg').textContent], {type: 'image/svg+xml'}));
)";

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
  write("page.html",
        "<!DOCTYPE html><body><script id=\"svg\" type=\"text/plain\">" +
            text("plot.svg") +
            "</script><pre id=\"result\">not drawn</pre><script>" +
            kCountPixels + "</script>");
  // A fresh profile, nothing from the network, a bounded run; on a loaded
  // machine Chromium now and then ends before the page is drawn, so it gets
  // a second try. The profile is this run's own: a Chromium child of an
  // earlier run may still be deleting files in an old one.
  const std::filesystem::path profile =
      _logs / ("profile-" + std::to_string(::getpid()));
  const std::string lead = "<pre id=\"result\">";
  std::string result = "(no page)";
  std::size_t width = 0, height = 0, inked = 0, colours = 0, blue = 0,
              orange = 0, red = 0;
  for (int attempt = 0; attempt < 2 && width == 0; ++attempt) {
    std::error_code ignored;
    std::filesystem::remove_all(profile, ignored);
    const test::Outcome run = shell(
        "timeout 120 '" + chromium +
        "' --headless --no-sandbox --disable-gpu --disable-quic "
        "--no-first-run --disable-background-networking "
        "--disable-component-update --disable-sync --user-data-dir='" +
        profile.string() + "' --virtual-time-budget=10000 --dump-dom 'file://" +
        path("page.html").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::size_t at = run.out.find(lead);
    if (at == std::string::npos) continue;
    result = run.out.substr(at + lead.size(), 100);
    std::istringstream(result) >> width >> height >> inked >> colours >> blue >>
        orange >> red;
  }
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  ASSERT_EQ(width, 1000u) << result;
  const std::size_t total = width * height;
  EXPECT_GT(inked, total / 20) << "too little drawn";
  EXPECT_LT(inked, total * 9 / 10) << "a page filled with one colour";
  EXPECT_GT(colours, 50u);
  EXPECT_GT(blue, 0u) << "surface 0 not seen";
  EXPECT_GT(orange, 0u) << "surface 1 not seen";
  EXPECT_GT(red, 0u) << "filtered lines not seen";
}

}  // namespace
}  // namespace quaxscan
