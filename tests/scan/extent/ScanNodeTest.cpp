// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "geomath/GeoPoint.h"
#include "scan/extent/ScanNode.h"

namespace QUAX {
namespace {

using Point = _GeoPoint<double>;

void expectPoint(const Point& p, double x, double y, double z) {
  EXPECT_EQ(p.x(), x);
  EXPECT_EQ(p.y(), y);
  EXPECT_EQ(p.z(), z);
}

// A node whose three points lie at different distances from the origin, so
// that the tag decides the answer of nodaldistance.
ScanNode threePointNode() {
  ScanNode node;
  node.setNodelocation(Point(1, 0, 0));
  node.setStartLocation(Point(0, 2, 0));
  node.setEndLocation(Point(0, 0, 3));
  return node;
}

TEST(ScanNode, DefaultNodeHoldsZerosAndMeasuresFromItsLocation) {
  ScanNode node;
  for (auto get : {&ScanNode::getLocation, &ScanNode::getStartLocation,
                   &ScanNode::getEndLocation}) {
    Point p(9, 9, 9);
    (node.*get)(p);
    expectPoint(p, 0, 0, 0);
  }

  double distance = 9;
  double differential = 9;
  node.getProjectedDistance(distance);
  node.getprojectedDifferential(differential);
  EXPECT_EQ(distance, 0.0);
  EXPECT_EQ(differential, 0.0);
  EXPECT_EQ(node.getFrameIndex(), 0);

  std::int32_t left = 9;
  std::int32_t right = 9;
  node.getLeftandRightIndecies(left, right);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 0);

  ScanNode other;
  EXPECT_EQ(node.nodaldistance(other), 0.0);
  // The default tag measures from the location.
  ScanNode origin;
  EXPECT_EQ(threePointNode().nodaldistance(origin), 1.0);
}

TEST(ScanNode, TagChoosesThePointDistanceIsMeasuredFrom) {
  // Unknown tags measure from the end, like QUERY_END.
  const struct {
    QUERYTAG tag;
    double distance;
  } cases[] = {{QUERY_START, 2.0},
               {QUERY_END, 3.0},
               {static_cast<QUERYTAG>(7), 3.0},
               {static_cast<QUERYTAG>(-1), 3.0},
               {QUERY_LOCATION, 1.0}};
  ScanNode node = threePointNode();
  for (const auto& c : cases) {
    node.setTag(c.tag);
    EXPECT_EQ(node.nodaldistance(ScanNode()), c.distance) << c.tag;
  }
}

TEST(ScanNode, DistanceAlwaysEndsAtTheOtherNodesLocation) {
  ScanNode a = threePointNode();
  ScanNode b;
  b.setNodelocation(Point(1, 2, 2));
  b.setStartLocation(Point(100, 100, 100));
  b.setEndLocation(Point(-100, -100, -100));
  b.setTag(QUERY_END);
  // From a's location (1, 0, 0) to b's location (1, 2, 2).
  EXPECT_DOUBLE_EQ(a.nodaldistance(b), std::sqrt(8.0));
  // From b's end (-100, -100, -100) to a's location (1, 0, 0): tags differ,
  // so the two directions differ.
  EXPECT_DOUBLE_EQ(b.nodaldistance(a),
                   std::sqrt(101.0 * 101 + 2 * 100.0 * 100));
}

TEST(ScanNode, SetNodeLeavesEndsIndicesAndTagAlone) {
  ScanNode node = threePointNode();
  node.setLeftandRightIndecies(INT32_MIN, INT32_MAX);
  node.setTag(QUERY_START);

  node.setNode(Point(7, 8, 9), 1.25, -0.5, 42);

  Point p;
  node.getLocation(p);
  expectPoint(p, 7, 8, 9);
  node.getStartLocation(p);
  expectPoint(p, 0, 2, 0);
  node.getEndLocation(p);
  expectPoint(p, 0, 0, 3);
  double value = 0;
  node.getProjectedDistance(value);
  EXPECT_EQ(value, 1.25);
  node.getprojectedDifferential(value);
  EXPECT_EQ(value, -0.5);
  EXPECT_EQ(node.getFrameIndex(), 42);
  std::int32_t left = 0;
  std::int32_t right = 0;
  node.getLeftandRightIndecies(left, right);
  EXPECT_EQ(left, INT32_MIN);
  EXPECT_EQ(right, INT32_MAX);
  // Still measured from the start location.
  EXPECT_EQ(node.nodaldistance(ScanNode()), 2.0);
}

TEST(ScanNode, CopyAndAssignmentKeepEveryFieldAndTheTag) {
  ScanNode source = threePointNode();
  source.setNode(Point(1, 0, 0), 3.5, 0.25, 6);
  source.setLeftandRightIndecies(1, 2);
  source.setTag(QUERY_END);

  ScanNode copied(source);
  ScanNode assigned;
  assigned = source;
  ScanNode& same = assigned;
  assigned = same;  // self-assignment changes nothing

  ScanNode origin;
  for (const ScanNode* node : {&copied, &assigned}) {
    EXPECT_EQ(node->nodaldistance(origin), 3.0);
    Point p;
    node->getStartLocation(p);
    expectPoint(p, 0, 2, 0);
    double value = 0;
    node->getProjectedDistance(value);
    EXPECT_EQ(value, 3.5);
    node->getprojectedDifferential(value);
    EXPECT_EQ(value, 0.25);
    EXPECT_EQ(node->getFrameIndex(), 6);
    std::int32_t left = 0;
    std::int32_t right = 0;
    node->getLeftandRightIndecies(left, right);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 2);
  }

  // The copies are independent of the source.
  source.setNodelocation(Point(50, 50, 50));
  Point p;
  copied.getLocation(p);
  expectPoint(p, 1, 0, 0);
}

}  // namespace
}  // namespace QUAX
