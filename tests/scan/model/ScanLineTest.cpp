// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanTransformHistory.h"
#include "tests/scan/model/ModelTestSupport.h"

namespace QUAX {
namespace {

using Point3 = _GeoPoint<double>;
using History = ScanTransformHistory<double>;

ScanLine lineOf(std::initializer_list<Point3> positions) {
  ScanLine line;
  for (const Point3& p : positions) line.appendPoint(p);
  return line;
}

const History& historyOf(const ScanLine& line) {
  return *static_cast<History*>(
      line.findItem(History::getScanTransformHistoryKey()).getBody());
}

TEST(ScanLine, CopiesUseOneBlockAndAssignmentKeepsTheStorageMode) {
  ScanLine source = lineOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  testing::addGraysum(*source.getPoint(1), 5);
  source.setLineFlag(true);
  ScanLine copy(source);
  EXPECT_TRUE(copy.getLineFlag());
  testing::expectBoundToBlock(copy.getPoints());
  EXPECT_EQ(copy.getPoint(2)->position(), Point3(2, 0, 0));
  copy.getPoint(1)->removeItem(ScanPointGraysumData::GraysumDataKey);
  EXPECT_EQ(testing::graysumOf(*source.getPoint(1)), 5u);

  ScanLine perPoint = lineOf({{7, 7, 7}});
  perPoint = source;
  copy = lineOf({{5, 0, 0}});
  EXPECT_FALSE(perPoint.getPoints().ownsBlock());
  EXPECT_EQ(perPoint.getPoint(2)->position(), Point3(2, 0, 0));
  EXPECT_TRUE(copy.getPoints().ownsBlock());
  EXPECT_EQ(copy.getPoint(0)->position(), Point3(5, 0, 0));

  ScanLine fromEmpty{ScanLine()};  // an empty copy starts without a block
  fromEmpty.resize(3);
  EXPECT_FALSE(fromEmpty.getPoints().ownsBlock());
  ScanLine moved = lineOf({{1, 2, 3}});
  moved.transform(_MathMatrix<double>::translation(1, 0, 0));
  copy = ScanLine();
  copy = moved;  // items come along, as copies
  EXPECT_EQ(historyOf(copy).size(), 1u);
  EXPECT_NE(&historyOf(copy), &historyOf(moved));
  moved.erase(0, 1);
  EXPECT_THROW(moved.at(0), std::out_of_range);
}

struct Visitor {
  ScanLine* line;
  int mode;  // 0 records, 1 cuts the line to one point, 2 appends a point
  std::vector<ScanPoint*> seen;
  void visit(_ScanVisit<double>& v) {
    seen.push_back(v.currentPoint);
    if (mode == 1) line->erase(1, line->getPointCount());
    if (mode == 2) line->appendPoint(Point3(7, 7, 7));
  }
};

TEST(ScanLine, ForEachPointVisitsInOrderUntilTheLineEnds) {
  // A callback that cuts the line ends the walk; appended points are not
  // visited.
  for (int mode : {0, 1, 2}) {
    ScanLine line = lineOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    Visitor v{&line, mode, {}};
    _ScanVisit<double> visit;
    const std::uint32_t visited =
        line.forEachPoint(ScanLine::PointCallback(v, &Visitor::visit), visit);
    EXPECT_EQ(visited, mode == 1 ? 1u : 4u);
    EXPECT_EQ(v.seen.size(), visited);
    EXPECT_EQ(v.seen[0], line.getPoint(0));
    if (mode == 0) {
      EXPECT_EQ(v.seen[3], line.getPoint(3));
    }
    EXPECT_EQ(visit.currentPoint, nullptr);
  }
  ScanLine empty;
  _ScanVisit<double> visit;
  Visitor none{&empty, 0, {}};
  EXPECT_EQ(
      empty.forEachPoint(ScanLine::PointCallback(none, &Visitor::visit), visit),
      0u);
}

TEST(ScanLine, TransformRecordsAndMovesEveryPointUnlessInvalid) {
  ScanLine line = lineOf({{1, 0, 0}, {0, 1, 0}});
  _MathMatrix<double> m = _MathMatrix<double>::rotationZ(M_PI / 2);
  m.setTranslation(_MathVector<double>(0, 0, 1));
  line.transform(m);
  line.transform(_MathMatrix<double>::translation(1, 0, 0));
  EXPECT_EQ(historyOf(line).size(), 2u);  // one item, two records
  EXPECT_NEAR(line.getPoint(0)->position().y(), 1, 1e-15);
  EXPECT_NEAR(line.getPoint(0)->position().z(), 1, 1e-15);
  EXPECT_NEAR(line.getPoint(1)->position().x(), 0, 1e-15);
  // An invalid matrix is recorded but moves nothing; an empty line tests
  // nothing.
  const _MathMatrix<double> doubled(2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0);
  ScanLine one = lineOf({{1, 2, 3}});
  EXPECT_THROW(one.transform(doubled), EMathSingularMatrix);
  EXPECT_EQ(historyOf(one).size(), 1u);
  EXPECT_EQ(one.getPoint(0)->position(), Point3(1, 2, 3));
  ScanLine empty;
  EXPECT_NO_THROW(empty.transform(doubled));
  EXPECT_EQ(historyOf(empty).size(), 1u);
}

using Mat = _MathMatrix<double>;
using Vec = _MathVector<double>;

TEST(ScanTransformHistory, ComposesInOrderAndUndoes) {
  History h;
  EXPECT_THROW(h.undoLastTransform(), EScanTransformHistoryEmpty);
  EXPECT_THROW(h.getLastTransform(), EScanTransformHistoryEmpty);
  EXPECT_EQ(h.getTotalTransform(), Mat());
  h.applyTransform(Mat::translation(1, 0, 0));
  h.applyTransform(Mat::translation(0, 2, 0));
  EXPECT_EQ(h.getTotalTransform().getTranslation(), Vec(1, 2, 0));
  EXPECT_EQ(h.getLastTransform(), Mat::translation(0, 2, 0));

  std::unique_ptr<History> clone(static_cast<History*>(h.clone()));
  h.undoLastTransform();
  EXPECT_EQ(h.getLastTransform(), Mat::translation(1, 0, 0));
  h.undoLastTransform();
  EXPECT_EQ(h.size(), 0u);
  EXPECT_EQ(h.getTotalTransform(), Mat());  // exact for translations
  EXPECT_EQ(clone->size(), 2u);             // a clone keeps its own records

  // Rotations apply before later translations; undo returns to the start.
  h.applyTransform(Mat::rotationZ(M_PI / 2));
  h.applyTransform(Mat::translation(1, 0, 0));
  Vec p = h.getTotalTransform().applyToPosition(Vec(1, 0, 0));
  EXPECT_NEAR(p.x(), 1, 1e-15);
  EXPECT_NEAR(p.y(), 1, 1e-15);
  Mat m = Mat::rotationZ(0.4);
  m.setTranslation(Vec(1, 2, 3));
  History r;
  r.applyTransform(m);
  r.undoLastTransform();
  p = r.getTotalTransform().applyToPosition(Vec(5, 6, 7));
  EXPECT_NEAR(p.x(), 5, 1e-14);
  EXPECT_NEAR(p.y(), 6, 1e-14);
  EXPECT_NEAR(p.z(), 7, 1e-14);
}

}  // namespace
}  // namespace QUAX
