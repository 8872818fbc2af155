// SPDX-License-Identifier: MIT
#include "scan/model/ScanPoint.h"

#include <gtest/gtest.h>

#include "scan/model/ScanPointItems.h"
#include "tests/scan/model/ModelTestSupport.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using testing::addGraysum;
using testing::graysumOf;

TEST(ScanPoint, DefaultIsOriginWithoutItems) {
  const ScanPoint p;
  EXPECT_EQ(p.getPosition(), _GeoPoint<double>(0, 0, 0));
  EXPECT_FALSE(p.hasExtensionList());
  EXPECT_THROW(p.findItem(ScanPointGraysumData::GraysumDataKey),
               EExtensionNoImplementation);
}

TEST(ScanPoint, CreateExtensionListKeepsAnExistingList) {
  ScanPoint p;
  addGraysum(p, 5);
  p.createExtensionList();
  EXPECT_EQ(graysumOf(p), 5u);
  EXPECT_THROW(p.findItem(ScanPointTPData::TPDataKey), EExtensionNotPresent);
}

TEST(ScanPoint, CopyHasIndependentItems) {
  ScanPoint source(1, 2, 3);
  addGraysum(source, 7);
  ScanPoint copy(source);
  EXPECT_EQ(copy.getPosition(), source.getPosition());
  copy.removeItem(ScanPointGraysumData::GraysumDataKey);
  EXPECT_EQ(graysumOf(source), 7u);
}

TEST(ScanPoint, AssignmentFollowsTheSourcesItems) {
  ScanPoint withItems(1, 1, 1);
  addGraysum(withItems, 3);
  ScanPoint bare(2, 2, 2);

  ScanPoint target;
  target = withItems;
  EXPECT_EQ(graysumOf(target), 3u);
  target = bare;  // the source has none: the target releases its own
  EXPECT_FALSE(target.hasExtensionList());
  EXPECT_EQ(target.getPosition(), _GeoPoint<double>(2, 2, 2));

  ScanPoint& self = target;
  target = self;
  EXPECT_EQ(target.getPosition(), _GeoPoint<double>(2, 2, 2));
}

TEST(ScanPoint, MoveTakesTheItems) {
  ScanPoint source(4, 5, 6);
  addGraysum(source, 9);
  ScanPoint moved(std::move(source));
  EXPECT_EQ(graysumOf(moved), 9u);
  EXPECT_FALSE(source.hasExtensionList());  // NOLINT(bugprone-use-after-move)
}

}  // namespace
}  // namespace QUAX
