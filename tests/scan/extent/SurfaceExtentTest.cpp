// SPDX-License-Identifier: MIT
// Scan nodes and surface extents, also of a surface that an acquisition
// thread still fills.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/extent/ScanNode.h"
#include "scan/extent/SurfaceExtent.h"
#include "scan/model/ScanSurface.h"
#include "tests/thread/ThreadTestSupport.h"

namespace QUAX {
namespace {

using Point = _GeoPoint<double>;

// What one test frame holds: no scan line (count 0), or a line of `count`
// points across y whose middle point (index (count - 1) / 2) sits at
// `middle`.
struct FrameShape {
  std::size_t count = 100;
  _GeoPoint<double> middle;
};

FrameShape line(std::size_t count, double x, double y, double z) {
  return FrameShape{count, Point(x, y, z)};
}
FrameShape noLine() { return FrameShape{0, {}}; }
using Frames = std::vector<FrameShape>;

std::unique_ptr<_ScanFrame<double>> makeFrame(const FrameShape& shape) {
  if (shape.count == 0) return std::make_unique<_ScanFrame<double>>();
  auto scanLine = std::make_unique<_ScanLine<double>>();
  const double first = -static_cast<double>((shape.count - 1) / 2);
  for (std::size_t j = 0; j < shape.count; ++j) {
    scanLine->appendPoint(_GeoPoint<double>(
        shape.middle.x(), shape.middle.y() + first + j, shape.middle.z()));
  }
  return std::make_unique<_ScanFrame<double>>(std::move(scanLine));
}

// A complete surface with one frame per shape given.
std::unique_ptr<_ScanSurface<double>> makeSurface(const Frames& frames) {
  auto surface = std::make_unique<_ScanSurface<double>>();
  for (const FrameShape& shape : frames) surface->appendFrame(makeFrame(shape));
  surface->setComplete();
  return surface;
}

// Frames i = 0 .. count - 1 of 100 points, middles at (10 i, 0, 0).
Frames straightFrames(std::size_t count) {
  Frames frames;
  for (std::size_t i = 0; i < count; ++i)
    frames.push_back(line(100, 10.0 * i, 0, 0));
  return frames;
}

// Every field of a node: "frame: location start end distance differential
// [left right]".
std::string fieldsOf(const ScanNode& node) {
  _GeoPoint<double> p[3];
  node.getLocation(p[0]);
  node.getStartLocation(p[1]);
  node.getEndLocation(p[2]);
  double distance = -1, differential = -1;
  node.getProjectedDistance(distance);
  node.getprojectedDifferential(differential);
  std::int32_t left = -1, right = -1;
  node.getLeftandRightIndecies(left, right);
  std::ostringstream out;
  out << node.getFrameIndex() << ":";
  for (const auto& q : p)
    out << " (" << q.x() << "," << q.y() << "," << q.z() << ")";
  out << " " << distance << " " << differential << " [" << left << " " << right
      << "]";
  return out.str();
}

std::vector<ScanNode*> nodesOf(const SurfaceExtent& extent) {
  std::vector<ScanNode*> nodes;
  extent.getNodeList(&nodes);
  return nodes;
}

// What the extent prints at a precision of 4, the same in both spellings.
std::string textOf(const SurfaceExtent& extent) {
  std::ostringstream out, old;
  out << std::setprecision(4) << extent;
  extent << (old << std::setprecision(4));  // the library's own spelling
  EXPECT_EQ(old.str(), out.str());
  return out.str();
}

// Reference line, split direction (or "none" when it cannot be normalised)
// and the frames of the nodes, rounded to 1e-9.
std::string shapeOf(SurfaceExtent& extent) {
  const auto r = [](double v) { return std::round(v * 1e9) / 1e9 + 0.0; };
  _GeoLine<double> ref;
  extent.getRefLine(ref);
  const auto& o = ref.getOrigin();
  const auto& d = ref.getDirection();
  std::ostringstream out;
  out << "(" << r(o.x()) << "," << r(o.y()) << "," << r(o.z()) << ") ("
      << r(d.x()) << "," << r(d.y()) << "," << r(d.z()) << ") split ";
  try {
    _MathVector<double> s;
    extent.getSplitDirection(s);
    out << "(" << r(s.x()) << "," << r(s.y()) << "," << r(s.z()) << ")";
  } catch (const EMathZeroVector&) {
    out << "none";
  }
  out << " frames";
  for (const ScanNode* node : nodesOf(extent))
    out << " " << node->getFrameIndex();
  return out.str();
}

double differentialOf(const ScanNode& node) {
  double d = -1;
  node.getprojectedDifferential(d);
  return d;
}

SurfaceExtent extentOf(const Frames& frames) {
  SurfaceExtent extent;
  extent.calculateExtents(makeSurface(frames).get());
  return extent;
}

// An extent computed on a straight surface along z, to tell "unchanged"
// from "never computed".
const char kAlongZ[] = "(0,0,0) (0,0,1) split (0,0,1) frames 0 1 2 3";
SurfaceExtent computedAlongZ() {
  return extentOf({line(10, 0, 0, 0), line(10, 0, 0, 7), line(10, 0, 0, 14),
                   line(10, 0, 0, 21)});
}

// Points at different distances from the origin, so that the tag decides
// which one nodaldistance measures from.
ScanNode threePointNode() {
  ScanNode node;
  node.setNodelocation(Point(1, 0, 0));
  node.setStartLocation(Point(0, 2, 0));
  node.setEndLocation(Point(0, 0, 3));
  return node;
}

TEST(ScanNode, TagChoosesWhereDistancesStartAndSetNodeKeepsIt) {
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
  // setNode leaves the ends, the indices and the tag.
  node.setLeftandRightIndecies(INT32_MIN, INT32_MAX);
  node.setTag(QUERY_START);
  node.setNode(Point(7, 8, 9), 1.25, -0.5, 42);
  EXPECT_EQ(fieldsOf(node),
            "42: (7,8,9) (0,2,0) (0,0,3) 1.25 -0.5 [-2147483648 2147483647]");
  EXPECT_EQ(node.nodaldistance(ScanNode()), 2.0);
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

TEST(SurfaceExtent, NodesLieOnTheReferenceLineFromFirstToLastLongFrame) {
  Frames tilted;
  for (int i = 0; i < 10; ++i) {
    tilted.push_back(line(100, 1 + 3.0 * i, 2 + 4.0 * i, 3 - 12.0 * i));
  }
  SurfaceExtent extent = extentOf(tilted);
  EXPECT_EQ(shapeOf(extent),
            "(1,2,3) (0.230769,0.307692,-0.923077) split "
            "(0.230769,0.307692,-0.923077) frames 0 1 2 3 4 5 6 7 8 9");
  EXPECT_EQ(fieldsOf(*nodesOf(extent)[9]),
            "9: (28,38,-105) (28,-11,-105) (28,88,-105) 0 0 [0 0]");

  // Short first and last frames are left out, even off the line; an even
  // point count takes the lower of the two middle points.
  Frames frames = straightFrames(10);
  frames[0] = line(5, 0, 0, 50);
  frames[9] = line(5, 90, 0, -50);
  frames[4] = line(6, 40, 0, 0);
  extent = extentOf(frames);
  EXPECT_EQ(shapeOf(extent),
            "(10,0,0) (1,0,0) split (1,0,0) frames 1 2 3 4 5 6 7 8");
  EXPECT_EQ(fieldsOf(*nodesOf(extent)[3]),
            "4: (40,0,0) (40,-2,0) (40,3,0) 0 0 [0 0]");
}

TEST(SurfaceExtent, NullArgumentsAndDegenerateEndsGiveNoNodes) {
  SurfaceExtent fresh;
  EXPECT_EQ(shapeOf(fresh), "(0,0,0) (0,0,1) split none frames");
  EXPECT_EQ(textOf(fresh), "");
  EXPECT_THROW(fresh.calculateExtents(nullptr), std::invalid_argument);
  EXPECT_THROW(fresh.getNodeList(nullptr), std::invalid_argument);
  Frames single(10, line(3, 0, 0, 0));
  single[3] = line(100, 4, 5, 6);
  const struct {
    Frames frames;
    const char* shape;
  } cases[] = {
      // One qualifying frame of many: a zero split, no node, the line kept.
      {single, "(0,0,0) (0,0,1) split none frames 0 1 2 3"},
      // Two frames, only frame 0 qualifying: split towards the origin.
      {{line(100, 3, 4, 0), line(5, 50, 50, 50)},
       "(3,4,0) (-0.6,-0.8,0) split (-0.6,-0.8,0) frames 0 1 2 3 0"},
      // A frame without a line where an end is sought: unchanged.
      {{noLine(), line(10, 10, 0, 0), line(10, 20, 0, 0)}, kAlongZ},
      {{line(3, 0, 0, 0), noLine(), line(10, 20, 0, 0)}, kAlongZ},
      {{line(10, 0, 0, 0), line(10, 20, 0, 0), noLine()}, kAlongZ},
  };
  for (const auto& c : cases) {
    SurfaceExtent extent = computedAlongZ();
    extent.calculateExtents(makeSurface(c.frames).get());
    EXPECT_EQ(shapeOf(extent), c.shape);
  }
  // A complete surface without frames throws and keeps the extent; a split
  // too short to normalise throws once it is stored, making no nodes.
  SurfaceExtent extent = computedAlongZ();
  EXPECT_THROW(extent.calculateExtents(makeSurface({}).get()),
               EScanSurfaceRangeException);
  EXPECT_EQ(shapeOf(extent), kAlongZ);
  EXPECT_THROW(
      extent.calculateExtents(
          makeSurface({line(10, 0, 0, 0), line(10, 1e-14, 0, 0)}).get()),
      EMathZeroVector);
  EXPECT_EQ(shapeOf(extent), "(0,0,0) (0,0,1) split none frames 0 1 2 3");
}

TEST(SurfaceExtent, DifferentialsCompareWithThePreviousNode) {
  // Reference line along x; the middles stand off it by 0, 3, (none), 1, 0.
  // Frame 1 gets 0; a frame without a line is skipped.
  SurfaceExtent extent =
      extentOf({line(10, 0, 0, 0), line(10, 10, 0, 3), noLine(),
                line(10, 30, 0, 1), line(10, 40, 0, 0)});
  EXPECT_EQ(textOf(extent),
            "0,0,0,0,-4,0,0,5,0,0,0,\n"
            "10,0,3,10,-4,3,10,5,3,3,0,\n"
            "30,0,1,30,-4,1,30,5,1,1,-0.0995,\n"
            "40,0,0,40,-4,0,40,5,0,0,-0.0995,\n");
  EXPECT_NEAR(differentialOf(*nodesOf(extent)[2]), -2.0 / std::sqrt(404.0),
              1e-12);
  // The first node after frame one measures from distance 0 at the origin,
  // and equal successive middles divide 0 by 0 without throwing.
  extent =
      extentOf({line(3, 0, 0, 0), line(3, 0, 0, 0), line(10, 0, 0, 0),
                line(10, 10, 0, 2), line(10, 10, 0, 2), line(10, 30, 0, 0)});
  const auto nodes = nodesOf(extent);
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(nodes[0]->getFrameIndex(), 2);
  EXPECT_TRUE(std::isnan(differentialOf(*nodes[0])));
  EXPECT_TRUE(std::isnan(differentialOf(*nodes[2])));
}

TEST(SurfaceExtent, CallsAppendNodesThatCopiesOwnAndMovesTake) {
  auto surface = makeSurface(straightFrames(3));
  auto source = std::make_unique<SurfaceExtent>();
  source->calculateExtents(surface.get());
  const std::vector<ScanNode*> first = nodesOf(*source);
  source->calculateExtents(surface.get());
  EXPECT_EQ(shapeOf(*source),
            "(0,0,0) (1,0,0) split (1,0,0) frames 0 1 2 0 1 2");
  ScanNode stranger;
  std::vector<ScanNode*> nodes(7, &stranger);
  source->getNodeList(&nodes);  // replaces what the list held
  ASSERT_EQ(nodes.size(), 6u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), nodes.begin()));
  EXPECT_EQ(differentialOf(*nodes[3]), 0.0);

  const std::string text = textOf(*source);
  SurfaceExtent assigned = computedAlongZ();
  assigned = *source;
  SurfaceExtent copied(*source);
  source.reset();  // copies hold nodes of their own
  EXPECT_EQ(textOf(copied), text);
  EXPECT_EQ(textOf(assigned), text);
  nodes = nodesOf(copied);
  SurfaceExtent moved(std::move(copied));
  EXPECT_EQ(nodesOf(moved), nodes);
  EXPECT_TRUE(nodesOf(copied).empty());  // NOLINT(bugprone-use-after-move)
}

constexpr std::size_t kFrames = 40;
const Frames kShapes = straightFrames(kFrames);

// Every node belongs to the next frame of the straight test surface.
void expectConsecutiveNodes(const SurfaceExtent& extent, std::size_t atLeast) {
  const std::vector<ScanNode*> nodes = nodesOf(extent);
  ASSERT_GE(nodes.size(), atLeast);
  ASSERT_LE(nodes.size(), kFrames);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    Point location;
    nodes[i]->getLocation(location);
    EXPECT_EQ(nodes[i]->getFrameIndex(), static_cast<std::int32_t>(i));
    EXPECT_EQ(location, kShapes[i].middle) << i;
  }
}

// The first computation waits for frame 0 of an empty surface and then sees
// the frames in order, however far the filler has got.
TEST(SurfaceExtentThreads, FollowsTheFramesOfASurfaceBeingFilled) {
  _ScanSurface<double> surface;
  std::vector<SurfaceExtent> extents(4);
  testing::BoundedThread reader([&] {
    for (SurfaceExtent& extent : extents) extent.calculateExtents(&surface);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (std::size_t i = 0; i < kFrames; ++i) {
    surface.appendFrame(makeFrame(kShapes[i]));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  surface.setComplete();
  ASSERT_TRUE(reader.joinWithin()) << "calculateExtents did not return";
  for (const SurfaceExtent& extent : extents) expectConsecutiveNodes(extent, 0);
  SurfaceExtent afterwards;
  afterwards.calculateExtents(&surface);
  expectConsecutiveNodes(afterwards, kFrames);
}

}  // namespace
}  // namespace QUAX
