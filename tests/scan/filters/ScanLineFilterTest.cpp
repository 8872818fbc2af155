// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "FilterTestSupport.h"
#include "ReferenceFilters.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {
namespace {

using test::makeLine;
using test::Point;
using test::Points;
using test::positionsOf;

// A complete surface with one frame per entry; a null entry is a frame
// without a scan line.
std::unique_ptr<ScanSurface> surfaceOf(const std::vector<const Points*>& lines,
                                       bool complete = true) {
  auto surface = std::make_unique<ScanSurface>();
  for (const Points* points : lines) {
    auto frame = std::make_unique<ScanFrame>();
    if (points != nullptr) {
      frame->setScanLine(std::make_unique<ScanLine>(makeLine(*points)));
    }
    surface->appendFrame(std::move(frame));
  }
  if (complete) surface->setComplete();
  return surface;
}

Points lineOf(const ScanSet& set, std::size_t surface, std::size_t frame) {
  return positionsOf(*set.getSurface(surface)->getFrame(frame)->getScanLine());
}

const Points kCollinear = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
const Points kThinned = {{0, 0, 0}, {3, 0, 0}};

TEST(ScanLineFilter, EmptySetsAndSurfacesAreNothingToDo) {
  ScanSet empty;
  EXPECT_NO_THROW(ScanChordalDeviationFilter(0.1).applyFilter(empty));

  ScanSet noFrames;
  noFrames.addSurface(surfaceOf({}));
  noFrames.addSurface(surfaceOf({}, false));  // incomplete: nothing to wait for
  EXPECT_NO_THROW(ScanAverageFilter(3, 1.0).applyFilter(noFrames));
}

TEST(ScanLineFilter, FiltersEveryFrameOfEverySurface) {
  ScanSet set;
  set.addSurface(surfaceOf({&kCollinear, &kCollinear}));
  set.addSurface(surfaceOf({&kCollinear}, false));
  ScanChordalDeviationFilter(0.1).applyFilter(set);
  EXPECT_EQ(lineOf(set, 0, 0), kThinned);
  EXPECT_EQ(lineOf(set, 0, 1), kThinned);
  EXPECT_EQ(lineOf(set, 1, 0), kThinned);
}

TEST(ScanLineFilter, PassesOverFramesWithoutAScanLine) {
  ScanSet set;
  set.addSurface(surfaceOf({&kCollinear, nullptr, &kCollinear}));
  EXPECT_NO_THROW(ScanChordalDeviationFilter(0.1).applyFilter(set));
  EXPECT_EQ(lineOf(set, 0, 0), kThinned);
  EXPECT_FALSE(set.getSurface(0)->getFrame(1)->hasScanLine());
  EXPECT_EQ(lineOf(set, 0, 2), kThinned);
}

TEST(ScanLineFilter, DropsScanErrorsOfOneFrameAndGoesOn) {
  const Points shortLine = {{0, 0, 0}, {1, 1, 0}};
  const Points longLine = test::noisyProfile(10, 4);
  ScanSet set;
  set.addSurface(surfaceOf({&longLine, &shortLine, &longLine}));
  EXPECT_NO_THROW(
      ScanNPointFilter(5, ScanNPointFilter::EQUAL_INDEX).applyFilter(set));
  EXPECT_EQ(lineOf(set, 0, 0).size(), 5u);
  EXPECT_EQ(lineOf(set, 0, 1), shortLine);  // too short: refused, unchanged
  EXPECT_EQ(lineOf(set, 0, 2).size(), 5u);
}

TEST(ScanLineFilter, OtherErrorsEndTheWalkKeepingEarlierFrames) {
  // The second line's chord from (0,0,0) to (1e-14,0,0) is too short to be
  // normalized: EMathZeroVector is no scan error and reaches the caller.
  const Points tiny = {{0, 0, 0}, {1, 1, 0}, {1e-14, 0, 0}};
  ScanSet set;
  set.addSurface(surfaceOf({&kCollinear, &tiny, &kCollinear}));
  set.addSurface(surfaceOf({&kCollinear}));
  EXPECT_THROW(ScanChordalDeviationFilter(0.5).applyFilter(set),
               EMathZeroVector);
  EXPECT_EQ(lineOf(set, 0, 0), kThinned);
  EXPECT_EQ(lineOf(set, 0, 1), tiny);
  EXPECT_EQ(lineOf(set, 0, 2), kCollinear);
  EXPECT_EQ(lineOf(set, 1, 0), kCollinear);
}

TEST(ScanLineFilter, AverageFilterIsReachedThroughTheSet) {
  const Points line = test::noisyProfile(50, 17);
  ScanSet set;
  set.addSurface(surfaceOf({&line}));
  const ScanAverageFilter filter(5, 500.0);
  filter.applyFilter(set);
  EXPECT_TRUE(
      test::sameBits(lineOf(set, 0, 0),
                     reference::average(line, 5, 500.0, {5, 48, 100, 48, 5})));
}

TEST(ScanLineFilter, NegativeLimitFromSettingsReachesTheCaller) {
  ScanAverageFilter filter(3, 1.0);
  std::wistringstream is(
      L"<ScanAverageFilter>\n<NeighborhoodSize value=\"3\"/>\n"
      L"<ProximityLimit value=\"-1\"/>\n<Weights value=\"13\"/>\n"
      L"<Weights value=\"100\"/>\n<Weights value=\"13\"/>\n"
      L"</ScanAverageFilter>\n");
  is >> filter;
  const Points line = test::noisyProfile(10, 3);
  ScanSet set;
  set.addSurface(surfaceOf({&line}));
  EXPECT_THROW(filter.applyFilter(set), EMathNegativeTol);
  EXPECT_EQ(lineOf(set, 0, 0), line);
}

TEST(ScanLineFilter, KeyIsTheClassName) {
  const ScanLineFilter& average = ScanAverageFilter(3, 1.0);
  EXPECT_EQ(average.getKey(), ScanAverageFilter::_scanAverageFilterKey);
  const ScanNPointFilter nPoint(3, ScanNPointFilter::EQUAL_INDEX);
  EXPECT_EQ(static_cast<const ScanLineFilter&>(nPoint).getKey(),
            L"ScanNPointFilter");
}

}  // namespace
}  // namespace QUAX
