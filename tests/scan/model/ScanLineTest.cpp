// SPDX-License-Identifier: MIT
#include "scan/model/ScanLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geomath/MathErrors.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanTransformHistory.h"

namespace QUAX {
namespace {

using Point3 = _GeoPoint<double>;
using History = ScanTransformHistory<double>;

ScanLine lineOf(std::initializer_list<Point3> positions) {
  ScanLine line;
  for (const Point3& p : positions) line.appendPoint(p);
  return line;
}

History& historyOf(const ScanLine& line) {
  return *static_cast<History*>(
      line.findItem(History::getScanTransformHistoryKey()).getBody());
}

struct Recorder {
  std::vector<ScanPoint*> seen;
  void visit(_ScanVisit<double>& v) { seen.push_back(v.currentPoint); }
};

TEST(ScanLine, CopyOfPerPointLineUsesOneBlockAndOwnItems) {
  ScanLine source = lineOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  EXPECT_FALSE(source.getPoints().ownsBlock());
  source.getPoint(1)->createExtensionList();
  source.getPoint(1)->addItem(new ScanPointGraysumData());
  source.setLineFlag(true);

  ScanLine copy(source);
  EXPECT_TRUE(copy.getPoints().ownsBlock());
  EXPECT_TRUE(copy.getLineFlag());
  ASSERT_EQ(copy.getPointCount(), 3u);
  EXPECT_EQ(copy.getPoint(2)->position(), Point3(2, 0, 0));
  EXPECT_NO_THROW(copy.getPoint(1)->findItem(ScanPointGraysumData::GraysumDataKey));

  copy.getPoint(0)->setPosition(9, 9, 9);
  copy.getPoint(1)->removeItem(ScanPointGraysumData::GraysumDataKey);
  EXPECT_EQ(source.getPoint(0)->position(), Point3(0, 0, 0));
  EXPECT_NO_THROW(source.getPoint(1)->findItem(ScanPointGraysumData::GraysumDataKey));
}

TEST(ScanLine, CopyOfEmptyLineStartsWithoutBlock) {
  const ScanLine empty;
  ScanLine copy(empty);
  EXPECT_FALSE(copy.getPoints().ownsBlock());
  copy.resize(3);
  EXPECT_FALSE(copy.getPoints().ownsBlock());
  EXPECT_EQ(copy.getPointCount(), 3u);
}

TEST(ScanLine, AssigningAnEmptyLineEmptiesAndCopiesItems) {
  ScanLine target = lineOf({{1, 2, 3}, {4, 5, 6}});
  ScanLine empty;
  empty.transform(_MathMatrix<double>::translation(1, 0, 0));  // gives it a history
  target = empty;
  EXPECT_EQ(target.getPointCount(), 0u);
  EXPECT_EQ(historyOf(target).size(), 1u);
  EXPECT_NE(&historyOf(target), &historyOf(empty));
}

TEST(ScanLine, AssignmentKeepsTheDestinationsStorageMode) {
  const ScanLine source = lineOf({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  ScanLine blockLine(source);
  ScanLine perPoint = lineOf({{7, 7, 7}});
  blockLine = lineOf({{5, 0, 0}});
  perPoint = source;
  EXPECT_TRUE(blockLine.getPoints().ownsBlock());
  EXPECT_FALSE(perPoint.getPoints().ownsBlock());
  EXPECT_EQ(perPoint.getPoint(2)->position(), Point3(3, 0, 0));
  EXPECT_EQ(blockLine.getPoint(0)->position(), Point3(5, 0, 0));
}

TEST(ScanLine, ForEachPointVisitsInOrderAndClearsTheVisit) {
  ScanLine line = lineOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  Recorder r;
  _ScanVisit<double> visit;
  EXPECT_EQ(line.forEachPoint(ScanLine::PointCallback(r, &Recorder::visit), visit), 3u);
  ASSERT_EQ(r.seen.size(), 3u);
  EXPECT_EQ(r.seen[2], line.getPoint(2));
  EXPECT_EQ(visit.currentPoint, nullptr);

  ScanLine empty;
  Recorder none;
  EXPECT_EQ(empty.forEachPoint(ScanLine::PointCallback(none, &Recorder::visit), visit), 0u);
  EXPECT_TRUE(none.seen.empty());
}

// Changes the line it walks: cuts it to one point, or appends one, at every
// visit.
struct Meddler {
  ScanLine* line;
  bool cut;
  std::uint32_t calls = 0;
  void visit(_ScanVisit<double>& v) {
    EXPECT_EQ(v.currentPoint, line->getPoint(calls));
    ++calls;
    if (cut) {
      line->erase(1, line->getPointCount());
    } else {
      line->appendPoint(Point3(7, 7, 7));
    }
  }
};

TEST(ScanLine, ForEachPointEndsWhereACallbackCutsTheLineAndSkipsAppended) {
  ScanLine line = lineOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  Meddler cutter{&line, true};
  _ScanVisit<double> visit;
  EXPECT_EQ(line.forEachPoint(ScanLine::PointCallback(cutter, &Meddler::visit),
                              visit),
            1u);
  EXPECT_EQ(cutter.calls, 1u);

  line = lineOf({{0, 0, 0}, {1, 0, 0}});
  Meddler adder{&line, false};
  EXPECT_EQ(
      line.forEachPoint(ScanLine::PointCallback(adder, &Meddler::visit), visit),
      2u);
  EXPECT_EQ(line.getPointCount(), 4u);
}

TEST(ScanLine, TransformRecordsAndMovesEveryPoint) {
  ScanLine line = lineOf({{1, 0, 0}, {0, 1, 0}});
  _MathMatrix<double> m = _MathMatrix<double>::rotationZ(M_PI / 2);
  m.setTranslation(_MathVector<double>(0, 0, 1));
  line.transform(m);
  EXPECT_NEAR(line.getPoint(0)->position().y(), 1, 1e-15);
  EXPECT_NEAR(line.getPoint(0)->position().z(), 1, 1e-15);
  EXPECT_NEAR(line.getPoint(1)->position().x(), -1, 1e-15);

  line.transform(_MathMatrix<double>::translation(1, 0, 0));
  EXPECT_EQ(historyOf(line).size(), 2u);  // one item, two records
  EXPECT_NEAR(line.getPoint(1)->position().x(), 0, 1e-15);
}

TEST(ScanLine, InvalidTransformIsRecordedButMovesNothing) {
  ScanLine line = lineOf({{1, 2, 3}});
  const _MathMatrix<double> doubled(2, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0);
  EXPECT_THROW(line.transform(doubled), EMathSingularMatrix);
  EXPECT_EQ(historyOf(line).size(), 1u);
  EXPECT_EQ(line.getPoint(0)->position(), Point3(1, 2, 3));

  ScanLine empty;
  EXPECT_NO_THROW(empty.transform(doubled));  // nothing to visit, nothing tested
  EXPECT_EQ(historyOf(empty).size(), 1u);
}

TEST(ScanLine, EraseAndAtKeepOrder) {
  ScanLine line = lineOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  line.erase(1, 3);
  ASSERT_EQ(line.getPointCount(), 2u);
  EXPECT_EQ(line.at(1)->position(), Point3(3, 0, 0));
  EXPECT_THROW(line.at(2), std::out_of_range);
}

}  // namespace
}  // namespace QUAX
