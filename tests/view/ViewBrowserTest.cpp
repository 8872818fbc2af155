// SPDX-License-Identifier: MIT
// The view page opened offline in headless Chromium, drawn by WebGL on the
// software renderer: a script added to the page drives the view through
// window.quaxView and reads the canvas's pixels back. Skipped only where
// Chromium is not installed, unless QUAX_REQUIRE_BROWSER=1 (as scripts/test
// sets it), which makes that a failure.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Drives the view and prints "key=value" pairs into #result. Colours are
// matched with a margin: the points' own colours (the page draws without
// light), the chosen line's magenta.
const char kProbe[] = R"(<pre id="result">not run</pre><script>
(function () {
  var out = [], put = function (k, v) { out.push(k + '=' + v); };
  try {
    var v = window.quaxView;
    put('ready', v.ready ? 1 : 0);
    put('message', v.message && !document.getElementById('quax-message').hidden ? 1 : 0);
    if (v.canvas) {
      var near = function (d, p, rgb) {
        return Math.abs(d[p] - rgb[0]) < 30 && Math.abs(d[p + 1] - rgb[1]) < 30 &&
          Math.abs(d[p + 2] - rgb[2]) < 30;
      };
      var kinds = { blue: [31, 119, 180], orange: [255, 127, 14], line: [255, 0, 255] };
      var look = function (tag) {
        v.render();
        var c = v.canvas, copy = document.createElement('canvas');
        copy.width = c.width; copy.height = c.height;
        var g = copy.getContext('2d');
        g.drawImage(c, 0, 0);
        var d = g.getImageData(0, 0, c.width, c.height).data;
        var box = { all: [1e9, 1e9, -1, -1, 0, 0, 0] };
        Object.keys(kinds).forEach(function (k) { box[k] = [1e9, 1e9, -1, -1, 0, 0, 0]; });
        for (var y = 0; y < c.height; ++y) {
          for (var x = 0; x < c.width; ++x) {
            var p = 4 * (y * c.width + x), hit = [];
            if (!near(d, p, [30, 34, 40])) hit.push('all');
            Object.keys(kinds).forEach(function (k) { if (near(d, p, kinds[k])) hit.push(k); });
            hit.forEach(function (k) {
              var b = box[k];
              b[0] = Math.min(b[0], x); b[1] = Math.min(b[1], y);
              b[2] = Math.max(b[2], x); b[3] = Math.max(b[3], y);
              b[4]++; b[5] += x; b[6] += y;
            });
          }
        }
        Object.keys(box).forEach(function (k) {
          var b = box[k];
          put(tag + '.' + k + '.count', b[4]);
          if (b[4] === 0) return;
          // Relative to the whole drawing's box: 0 left/top, 1 right/bottom.
          var a = box.all, w = Math.max(1, a[2] - a[0]), h = Math.max(1, a[3] - a[1]);
          put(tag + '.' + k + '.left', ((b[0] - a[0]) / w).toFixed(3));
          put(tag + '.' + k + '.right', ((b[2] - a[0]) / w).toFixed(3));
          put(tag + '.' + k + '.top', ((b[1] - a[1]) / h).toFixed(3));
          put(tag + '.' + k + '.bottom', ((b[3] - a[1]) / h).toFixed(3));
          put(tag + '.' + k + '.cy', ((b[6] / b[4] - a[1]) / h).toFixed(3));
        });
        put(tag + '.aspect', ((box.all[2] - box.all[0]) / Math.max(1, box.all[3] - box.all[1])).toFixed(3));
      };
      var profile = function (tag) {
        var c = document.getElementById('quax-profile');
        var d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data, n = 0;
        for (var p = 0; p < d.length; p += 4) if (near(d, p, kinds.blue)) ++n;
        put(tag + '.profile', n);
        put(tag + '.label', document.getElementById('quax-frame-label').textContent.replace(/ /g, '_'));
      };
      v.setPointSize(3);
      v.setView('top');
      v.setFrame(5);
      look('low');
      profile('low');
      v.setFrame(35);
      look('high');
      v.setSurfaceVisible(1, false);
      look('off');
      put('first', v.firstFrameMs > 0 ? 1 : 0);
    }
  } catch (e) {
    window.__errors.push('probe: ' + e.message);
  }
  put('errors', JSON.stringify(window.__errors.concat(window.quaxView ? window.quaxView.errors : [])));
  document.getElementById('result').textContent = out.join(' ');
})();
</script>)";

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
    page.insert(page.rfind("</body>"), kProbe);
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
// seen from above and coloured by surface.
TEST_F(ViewBrowser, DrawsPointsWhereTheDataPutsThem) {
  const auto set = makeSet({plane(0, 40, 161, 0, 20, 41, 0.0),
                            plane(24, 40, 65, 12, 20, 17, 1.0)});
  QUAX::ViewOptions options;
  options.colour = QUAX::ViewColour::kSurface;
  const auto f = open(*set, options);
  ASSERT_FALSE(f.empty()) << "the page did not report";
  EXPECT_EQ(f.at("errors"), "[]");
  EXPECT_EQ(number(f, "ready"), 1);
  EXPECT_EQ(number(f, "first"), 1);
  // The drawing has the sheet's shape; the upper sheet lies over its corner.
  EXPECT_NEAR(number(f, "low.aspect"), 2.0, 0.12);
  EXPECT_GT(number(f, "low.blue.count"), 1000);
  EXPECT_NEAR(number(f, "low.orange.left"), 0.6, 0.04);
  EXPECT_NEAR(number(f, "low.orange.right"), 1.0, 0.02);
  EXPECT_NEAR(number(f, "low.orange.top"), 0.0, 0.02);
  EXPECT_NEAR(number(f, "low.orange.bottom"), 0.4, 0.04);
  EXPECT_NEAR(number(f, "low.blue.left"), 0.0, 0.02);
  EXPECT_NEAR(number(f, "low.blue.bottom"), 1.0, 0.02);
  // The slider's line: frame 5 lies at y = 2.5, frame 35 at y = 17.5 (y up).
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
