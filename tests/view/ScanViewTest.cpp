// SPDX-License-Identifier: MIT
// The view page's writer: the binary blocks read back against the set, the
// colour values against their definitions, and the options it refuses.
#include "view/ScanView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "scan/model/ScanPointItems.h"
#include "tests/view/ViewTestSets.h"

namespace {

using namespace viewtest;

std::string page(const QUAX::ScanSet& set, const QUAX::ViewOptions& options,
                 QUAX::ViewReport* report = nullptr) {
  std::ostringstream out;
  const QUAX::ViewReport r = QUAX::writeScanView(set, options, out);
  if (report != nullptr) *report = r;
  return out.str();
}

struct Decoded {
  std::vector<double> xyz;
  std::vector<double> values;  // NaN: none
  std::vector<std::uint32_t> frameStarts;
};

Decoded decode(const std::string& text, int layer = 0) {
  Decoded d;
  const auto pos = base64(block(text, "quax-positions-" + std::to_string(layer)));
  for (std::size_t i = 0; i + 2 < pos.size(); i += 3) {
    const int a = int(d.xyz.size() % 3);
    const std::uint32_t q = pos[i] | (pos[i + 1] << 8) | (pos[i + 2] << 16);
    d.xyz.push_back(metaNumber(text, "low", a) +
                    q * metaNumber(text, "scale", a));
  }
  const auto val = base64(block(text, "quax-values-" + std::to_string(layer)));
  for (std::size_t i = 0; i + 1 < val.size(); i += 2) {
    const unsigned q = val[i] | (val[i + 1] << 8);
    d.values.push_back(q == 65535 ? NAN
                                  : metaNumber(text, "valueLow") +
                                        q * metaNumber(text, "valueStep"));
  }
  const auto fr = base64(block(text, "quax-frames-" + std::to_string(layer)));
  for (std::size_t i = 0; i + 3 < fr.size(); i += 4) {
    d.frameStarts.push_back(fr[i] | (fr[i + 1] << 8) | (fr[i + 2] << 16) |
                            (std::uint32_t(fr[i + 3]) << 24));
  }
  return d;
}

// Random sets (frames without a line or without points, far from the
// origin, several surfaces) thinned to random limits: every kept point is
// the one the even rule picks, at its place within half a step, with its
// height as its value, on the frame it came from.
TEST(ScanView, BlocksHoldTheEvenlyThinnedPointsWhereTheSetHasThem) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 40; ++trial) {
    std::uniform_real_distribution<double> offset(-1e4, 1e4), unit(0.0, 1.0);
    std::vector<Surface> surfaces(1 + random() % 3);
    std::vector<Xyz> all;
    std::vector<std::uint32_t> frameOf;
    std::uint32_t frame = 0;
    const Xyz origin{offset(random), offset(random), offset(random)};
    for (Surface& s : surfaces) {
      const std::size_t frames = random() % 7;
      s.frames.resize(frames);
      s.noLine.resize(frames);
      for (std::size_t f = 0; f < frames; ++f, ++frame) {
        s.noLine[f] = random() % 5 == 0;
        if (s.noLine[f]) continue;
        const std::size_t n = random() % 40;
        for (std::size_t i = 0; i < n; ++i) {
          s.frames[f].push_back({origin.x + 50 * unit(random),
                                 origin.y + 20 * unit(random),
                                 origin.z + unit(random)});
          all.push_back(s.frames[f].back());
          frameOf.push_back(frame);
        }
      }
    }
    const auto set = makeSet(surfaces);
    QUAX::ViewOptions options;
    options.maxPoints = std::uint32_t(2 + random() % 100);
    QUAX::ViewReport report;
    const std::string text = page(*set, options, &report);
    const std::uint64_t n = all.size();
    const std::uint64_t k = std::min<std::uint64_t>(n, options.maxPoints);
    ASSERT_EQ(report.points, n);
    if (n < 2) {
      EXPECT_NE(block(text, "quax-meta").find("\"message\": \"This scan set"),
                std::string::npos);
      continue;
    }
    ASSERT_EQ(report.shown, k);
    const Decoded d = decode(text);
    ASSERT_EQ(d.values.size(), k);
    ASSERT_EQ(d.frameStarts.size(), frame + 1u);
    const double step[3] = {metaNumber(text, "scale", 0),
                            metaNumber(text, "scale", 1),
                            metaNumber(text, "scale", 2)};
    std::size_t kept = 0;
    for (std::uint64_t i = 0; i < n; ++i) {
      if ((i + 1) * k / n == i * k / n) continue;
      const Xyz& p = all[i];
      const double* q = &d.xyz[3 * kept];
      EXPECT_NEAR(q[0], p.x, step[0] * 0.5 + 1e-9) << trial << " " << i;
      EXPECT_NEAR(q[1], p.y, step[1] * 0.5 + 1e-9);
      EXPECT_NEAR(q[2], p.z, step[2] * 0.5 + 1e-9);
      EXPECT_NEAR(d.values[kept], p.z,
                  metaNumber(text, "valueStep") * 0.5 + 1e-4);
      EXPECT_GE(kept, d.frameStarts[frameOf[i]]);
      EXPECT_LT(kept, d.frameStarts[frameOf[i] + 1]);
      ++kept;
    }
    EXPECT_EQ(kept, k);
  }
}

// Two sheets 0.3 apart (the upper one half as wide): overlap gives -0.3
// below and +0.3 above where they overlap and no value elsewhere; surface
// gives the index; a straight line with one raised point deviates only
// around that point, above it; gray gives the gray sum where a point has
// one.
TEST(ScanView, ColourValuesFollowTheirDefinitions) {
  QUAX::ViewOptions options;
  const auto sheets = makeSet({plane(0, 10, 41, 0, 10, 41, 0.0),
                               plane(0, 5, 21, 0, 10, 41, 0.3)});
  options.colour = QUAX::ViewColour::kOverlap;
  options.overlapRadius = 1.0;
  std::string text = page(*sheets, options);
  Decoded d = decode(text);
  for (std::size_t i = 0; i < d.values.size(); ++i) {
    const double x = d.xyz[3 * i], z = d.xyz[3 * i + 2];
    if (z > 0.15) {
      EXPECT_NEAR(d.values[i], 0.3, 1e-3) << i;
    } else if (x < 4.9) {
      EXPECT_NEAR(d.values[i], -0.3, 1e-3) << i;
    } else if (x > 6.1) {
      EXPECT_TRUE(std::isnan(d.values[i])) << i;
    }
  }
  EXPECT_DOUBLE_EQ(metaNumber(text, "range", 0), -metaNumber(text, "range", 1));

  options.colour = QUAX::ViewColour::kSurface;
  d = decode(page(*sheets, options));
  for (std::size_t i = 0; i < d.values.size(); ++i) {
    EXPECT_EQ(d.values[i], i < 41u * 41u ? 0.0 : 1.0);
  }

  Surface line;
  line.frames.resize(1);
  for (int i = 0; i <= 60; ++i) {
    line.frames[0].push_back({double(i), 0.0, i == 30 ? 17.0 : 0.5 * i});
  }
  options.colour = QUAX::ViewColour::kDeviation;
  d = decode(page(*makeSet({line}), options));
  ASSERT_EQ(d.values.size(), 61u);
  for (int i = 0; i <= 60; ++i) {
    if (std::abs(i - 30) > 3) {
      EXPECT_NEAR(d.values[i], 0.0, 1e-3) << i;
    }
  }
  EXPECT_GT(d.values[30], 0.3);

  auto grays = makeSet({plane(0, 1, 4, 0, 1, 2, 0.0)});
  QUAX::ScanLine* first = grays->getSurface(0)->getFrame(0)->getScanLine();
  for (std::size_t i = 0; i < first->getPointCount(); ++i) {
    auto* item = new QUAX::ScanPointGraysumData;
    item->setGraysum(std::uint32_t(1000 * (i + 1)));
    first->getPoint(i)->createExtensionList();
    first->getPoint(i)->addItem(item);
  }
  options.colour = QUAX::ViewColour::kGray;
  QUAX::ViewReport report;
  d = decode(page(*grays, options, &report));
  EXPECT_EQ(report.valued, 4u);
  for (std::size_t i = 0; i < 8; ++i) {
    if (i < 4) {
      EXPECT_NEAR(d.values[i], 1000.0 * (i + 1), 0.1);
    } else {
      EXPECT_TRUE(std::isnan(d.values[i]));
    }
  }
}

// A second set travels as a layer of its own, on the same box and scale.
TEST(ScanView, BeforeSetIsASecondLayerOnTheSameScale) {
  const auto after = makeSet({plane(0, 10, 11, 0, 5, 6, 1.0)});
  const auto before = makeSet({plane(20, 30, 11, 0, 5, 3, -1.0)});
  QUAX::ViewOptions options;
  options.before = before.get();
  options.maxPoints = 20;
  QUAX::ViewReport report;
  const std::string text = page(*after, options, &report);
  EXPECT_EQ(report.shown, 20u);
  EXPECT_EQ(report.beforePoints, 33u);
  EXPECT_EQ(report.beforeShown, 20u);
  const Decoded a = decode(text, 0), b = decode(text, 1);
  ASSERT_EQ(b.values.size(), 20u);
  EXPECT_NEAR(b.xyz[0], 21.0, 1e-5);  // the even rule keeps point 1 first
  EXPECT_NEAR(b.values[0], -1.0, 1e-3);
  EXPECT_NEAR(a.values[0], 1.0, 1e-3);
  EXPECT_NEAR(metaNumber(text, "range", 0), -1.0, 1e-9);
}

// The page loads nothing: every script is inline and closed once, and no
// element names another file or address.
TEST(ScanView, PageIsSelfContained) {
  const auto set = makeSet({plane(0, 1, 3, 0, 1, 3, 0.0)});
  QUAX::ViewOptions options;
  options.title = "a </script> <b>title</b> & \"quotes\"";
  const std::string text = page(*set, options);
  std::size_t opened = 0, closed = 0;
  for (std::size_t at = text.find("<script"); at != std::string::npos;
       at = text.find("<script", at + 1)) {
    ++opened;
    EXPECT_NE(text.compare(at, 12, "<script src="), 0) << "a script file";
  }
  for (std::size_t at = text.find("</script"); at != std::string::npos;
       at = text.find("</script", at + 1)) {
    ++closed;
  }
  EXPECT_EQ(opened, 7u);  // meta, 3 blocks, three.js, controls, viewer
  EXPECT_EQ(closed, opened);
  EXPECT_EQ(text.find("<link"), std::string::npos);
  EXPECT_EQ(text.find("<img"), std::string::npos);
  EXPECT_NE(text.find("<title>a &lt;/script&gt; &lt;b&gt;title&lt;/b&gt; &amp;"),
            std::string::npos);
}

TEST(ScanView, RefusesOptionsItCannotDraw) {
  EXPECT_EQ(QUAX::viewColourFromName("overlap"), QUAX::ViewColour::kOverlap);
  EXPECT_STREQ(QUAX::viewColourName(QUAX::ViewColour::kGray), "gray");
  EXPECT_THROW(QUAX::viewColourFromName("Height"), QUAX::EViewBadOption);
  const auto one = makeSet({plane(0, 1, 3, 0, 1, 3, 0.0)});
  const auto two = makeSet({plane(0, 1, 3, 0, 1, 3, 0.0),
                            plane(0, 1, 3, 0, 1, 3, 0.0)});
  using C = QUAX::ViewColour;
  const QUAX::ScanSet* o = one.get();
  const struct {
    const QUAX::ScanSet *set, *before;
    C colour;
    std::uint32_t maxPoints;
    double radius;
  } cases[] = {{o, nullptr, C::kHeight, 1, 1},
               {o, nullptr, C::kOverlap, 10, 1},
               {two.get(), o, C::kOverlap, 10, 1},
               {two.get(), nullptr, C::kOverlap, 10, 0},
               {two.get(), nullptr, C::kOverlap, 10, NAN}};
  for (const auto& c : cases) {
    QUAX::ViewOptions options;
    options.colour = c.colour;
    options.maxPoints = c.maxPoints;
    options.overlapRadius = c.radius;
    options.before = c.before;
    std::ostringstream out;
    EXPECT_THROW(QUAX::writeScanView(*c.set, options, out),
                 QUAX::EViewBadOption);
    EXPECT_TRUE(out.str().empty()) << "written before the refusal";
  }
  const auto empty = makeSet({Surface{}, Surface{{{}, {}}, {}}});
  std::string text = page(*empty, QUAX::ViewOptions());
  EXPECT_NE(text.find("holds no points (2 surfaces, 2 frames)"),
            std::string::npos);
  const auto single = makeSet({Surface{{{{1.5, 2, 3}}}, {}}});
  text = page(*single, QUAX::ViewOptions());
  EXPECT_NE(text.find("a single point, at (1.5, 2, 3)"), std::string::npos);
}

}  // namespace
