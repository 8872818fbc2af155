// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "scan/extent/ScanNode.h"
#include "tests/scan/extent/ExtentTestSurfaces.h"

namespace QUAX {
namespace {

using Point = _GeoPoint<double>;
using testing::fieldsOf;

// Points at different distances from the origin, so that the tag decides
// which one nodaldistance measures from.
ScanNode threePointNode() {
  ScanNode node;
  node.setNodelocation(Point(1, 0, 0));
  node.setStartLocation(Point(0, 2, 0));
  node.setEndLocation(Point(0, 0, 3));
  return node;
}

TEST(ScanNode, TagChoosesThePointDistanceIsMeasuredFrom) {
  EXPECT_EQ(fieldsOf(ScanNode()), "0: (0,0,0) (0,0,0) (0,0,0) 0 0 [0 0]");
  EXPECT_EQ(ScanNode().nodaldistance(ScanNode()), 0.0);
  // Unknown tags measure from the end, like QUERY_END; the default tag and
  // QUERY_LOCATION from the location.
  const struct {
    QUERYTAG tag;
    double distance;
  } cases[] = {{QUERY_START, 2.0},
               {QUERY_END, 3.0},
               {static_cast<QUERYTAG>(7), 3.0},
               {static_cast<QUERYTAG>(-1), 3.0},
               {QUERY_LOCATION, 1.0}};
  ScanNode node = threePointNode();
  EXPECT_EQ(node.nodaldistance(ScanNode()), 1.0);
  for (const auto& c : cases) {
    node.setTag(c.tag);
    EXPECT_EQ(node.nodaldistance(ScanNode()), c.distance) << c.tag;
  }
  // The distance always ends at the other node's location.
  ScanNode b;
  b.setNodelocation(Point(1, 2, 2));
  b.setStartLocation(Point(100, 100, 100));
  b.setEndLocation(Point(-100, -100, -100));
  b.setTag(QUERY_END);
  EXPECT_DOUBLE_EQ(threePointNode().nodaldistance(b), std::sqrt(8.0));
  EXPECT_DOUBLE_EQ(b.nodaldistance(threePointNode()),
                   std::sqrt(101.0 * 101 + 2 * 100.0 * 100));
}

TEST(ScanNode, SetNodeLeavesEndsIndicesAndTagAndCopiesKeepEverything) {
  ScanNode node = threePointNode();
  node.setLeftandRightIndecies(INT32_MIN, INT32_MAX);
  node.setTag(QUERY_START);
  node.setNode(Point(7, 8, 9), 1.25, -0.5, 42);
  const std::string fields =
      "42: (7,8,9) (0,2,0) (0,0,3) 1.25 -0.5 [-2147483648 2147483647]";
  EXPECT_EQ(fieldsOf(node), fields);
  EXPECT_EQ(node.nodaldistance(ScanNode()), 2.0);

  ScanNode copied(node), assigned;
  assigned = node;
  ScanNode& same = assigned;
  assigned = same;
  node.setNodelocation(Point(50, 50, 50));
  for (const ScanNode* n : {&copied, &assigned}) {
    EXPECT_EQ(fieldsOf(*n), fields);
    EXPECT_EQ(n->nodaldistance(ScanNode()), 2.0);  // the tag came along
  }
}

}  // namespace
}  // namespace QUAX
