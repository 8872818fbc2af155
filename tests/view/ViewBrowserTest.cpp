// SPDX-License-Identifier: MIT
// The view page opened offline in headless Chromium, drawn by WebGL on the
// software renderer: a script added to the page drives the view through
// window.quaxView and reads the canvas's pixels back. Skipped only where
// Chromium is not installed, unless QUAX_REQUIRE_BROWSER=1 (as scripts/test
// sets it), which makes that a failure.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "tests/view/ViewTestSets.h"
#include "view/ScanView.h"

namespace {

using namespace viewtest;

// Collects errors before the page's own scripts run.
const char kCatchErrors[] =
    "<script>window.__errors = [];"
    "window.addEventListener('error', function (e) {"
    " window.__errors.push(String(e.message)); });</script>";


class ViewBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    _folder = std::filesystem::temp_directory_path() /
              ("quax-view-" + std::to_string(::getpid()));
    std::filesystem::create_directories(_folder);
    const std::string found =
        run("command -v chromium || command -v chromium-browser");
    _chromium = found.substr(0, found.find('\n'));
    if (_chromium.empty()) {
      const char* required = std::getenv("QUAX_REQUIRE_BROWSER");
      if (required != nullptr && std::string(required) == "1") {
        FAIL() << "Chromium is required (QUAX_REQUIRE_BROWSER=1) but not "
                  "installed";
      }
      GTEST_SKIP() << "Chromium is not installed (scripts/install-deps "
                      "browser)";
    }
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(_folder, ignored);
  }

  std::string run(const std::string& command) const {
    const std::filesystem::path out = _folder / "out";
    const int raw = std::system(("( " + command + " ) >'" + out.string() +
                                 "' 2>/dev/null </dev/null")
                                    .c_str());
    std::ifstream in(out, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    return (raw != -1 && WIFEXITED(raw) && WEXITSTATUS(raw) == 0) ? text
                                                                  : "";
  }

  // Writes the page of `set` with the probe added, opens it and returns
  // the probe's figures.
  std::map<std::string, std::string> open(const QUAX::ScanSet& set,
                                          const QUAX::ViewOptions& options) {
    std::ostringstream out;
    QUAX::writeScanView(set, options, out);
    std::string page = out.str();
    page.insert(page.find("<head>") + 6, kCatchErrors);
    std::ifstream probe(QUAX_VIEW_PROBE, std::ios::binary);
    page.insert(page.rfind("</body>"),
                "<pre id=\"result\">not run</pre><script>" +
                    std::string(std::istreambuf_iterator<char>(probe), {}) +
                    "</script>");
    const std::filesystem::path file = _folder / "view.html";
    std::ofstream(file, std::ios::binary) << page;
    // A fresh profile, nothing from the network, a bounded run; on a loaded
    // machine Chromium now and then ends before the page is drawn, so it
    // gets a second try.
    std::map<std::string, std::string> figures;
    const std::string lead = "<pre id=\"result\">";
    for (int attempt = 0; attempt < 2 && figures.empty(); ++attempt) {
      const std::filesystem::path profile =
          _folder / ("profile-" + std::to_string(attempt));
      const std::string dom = run(
          "timeout 120 '" + _chromium +
          "' --headless --no-sandbox --enable-unsafe-swiftshader "
          "--use-angle=swiftshader --disable-quic --no-first-run "
          "--disable-background-networking --disable-component-update "
          "--disable-sync --disable-extensions --window-size=1100,700 "
          "--user-data-dir='" +
          profile.string() +
          "' --virtual-time-budget=20000 --dump-dom 'file://" + file.string() +
          "'");
      const std::size_t at = dom.find(lead);
      if (at == std::string::npos) continue;
      const std::size_t begin = at + lead.size();
      std::istringstream pairs(dom.substr(begin, dom.find("</pre>", begin) - begin));
      std::string pair;
      while (pairs >> pair) {
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos)
          figures[pair.substr(0, eq)] = pair.substr(eq + 1);
      }
    }
    return figures;
  }

  std::filesystem::path _folder;
  std::string _chromium;
};

double number(const std::map<std::string, std::string>& f,
              const std::string& key) {
  const auto at = f.find(key);
  return at == f.end() ? -1.0 : std::atof(at->second.c_str());
}

// A sheet 40 wide (x) and 20 deep (y, 41 frames 0.5 apart) at z = 0, and
// above its far right corner (x 24..40, y 12..20) a second one at z = 1,
// seen from above and coloured by surface; drawn whole at once, and with a
// first frame of every 8th point and the rest drawn next.
TEST_F(ViewBrowser, DrawsPointsWhereTheDataPutsThem) {
  const auto set = makeSet({plane(0, 40, 161, 0, 20, 41, 0.0),
                            plane(24, 40, 65, 12, 20, 17, 1.0)});
  double drawnWhole = -1.0;
  for (const std::uint32_t firstFramePoints : {0u, 1000u}) {
    SCOPED_TRACE(firstFramePoints);
    QUAX::ViewOptions options;
    options.colour = QUAX::ViewColour::kSurface;
    options.firstFramePoints = firstFramePoints;
    const auto f = open(*set, options);
    ASSERT_FALSE(f.empty()) << "the page did not report";
    EXPECT_EQ(f.at("errors"), "[]");
    EXPECT_EQ(number(f, "ready"), 1);
    EXPECT_EQ(number(f, "first"), 1);
    // A thinned first frame (every 8th point of each surface: 826 + 139)
    // says so until the rest is drawn.
    EXPECT_EQ(number(f, "refined"), 1);
    EXPECT_EQ(f.at("note"), "hidden");
    EXPECT_EQ(f.at("noteText"),
              firstFramePoints > 0
                  ? "First_drawn:_965_of_7,706_points,_evenly;_drawing_the_"
                    "rest."
                  : "none");
    EXPECT_EQ(number(f, "refinedLater"), firstFramePoints > 0 ? 1 : 0);
    // Once refined, every point is drawn: the same pixels as drawn whole.
    if (drawnWhole < 0) drawnWhole = number(f, "low.all.count");
    EXPECT_EQ(number(f, "low.all.count"), drawnWhole);
    // The drawing has the sheet's shape; the upper sheet lies over its
    // corner.
    EXPECT_NEAR(number(f, "low.aspect"), 2.0, 0.12);
    EXPECT_GT(number(f, "low.blue.count"), 1000);
    EXPECT_NEAR(number(f, "low.orange.left"), 0.6, 0.04);
    EXPECT_NEAR(number(f, "low.orange.right"), 1.0, 0.02);
    EXPECT_NEAR(number(f, "low.orange.top"), 0.0, 0.02);
    EXPECT_NEAR(number(f, "low.orange.bottom"), 0.4, 0.04);
    EXPECT_NEAR(number(f, "low.blue.left"), 0.0, 0.02);
    EXPECT_NEAR(number(f, "low.blue.bottom"), 1.0, 0.02);
    // The slider's line: frame 5 lies at y = 2.5, frame 35 at y = 17.5 (y
    // up).
    EXPECT_GT(number(f, "low.line.count"), 100);
    EXPECT_NEAR(number(f, "low.line.cy"), 0.875, 0.03);
    EXPECT_NEAR(number(f, "high.line.cy"), 0.125, 0.03);
    EXPECT_NEAR(number(f, "low.line.left"), 0.0, 0.03);
    EXPECT_NEAR(number(f, "low.line.right"), 1.0, 0.03);
    EXPECT_EQ(f.at("low.label"), "surface_0,_frame_5:_161_points_shown");
    EXPECT_GT(number(f, "low.profile"), 100) << "the profile is not drawn";
    // Surface 1 switched off: gone, and the sheet below it shows.
    EXPECT_EQ(number(f, "off.orange.count"), 0);
    EXPECT_GT(number(f, "off.blue.count"),
              number(f, "high.blue.count") + 1000);
  }
}

TEST_F(ViewBrowser, EmptyAndOnePointSetsShowAMessage) {
  for (const Surface& surface :
       {Surface{{{}, {}}, {}}, Surface{{{{1.0, 2.0, 3.0}}}, {}}}) {
    const auto set = makeSet({surface});
    const auto f = open(*set, QUAX::ViewOptions());
    ASSERT_FALSE(f.empty()) << "the page did not report";
    EXPECT_EQ(f.at("errors"), "[]");
    EXPECT_EQ(number(f, "ready"), 1);
    EXPECT_EQ(number(f, "message"), 1);
    EXPECT_EQ(f.count("low.aspect"), 0u) << "a canvas was drawn";
  }
}

}  // namespace
