// SPDX-License-Identifier: MIT
#include <cmath>
#include <cstdio>

#include "Demo.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanTransformHistory.h"

namespace quaxdemo {

namespace {

void printTransform(const char* label, const QUAX::_MathMatrix<double>& m) {
  const auto& t = m.getTranslation();
  std::printf(
      "  %-6s rotation [%6.3f %6.3f %6.3f | %6.3f %6.3f %6.3f | %6.3f %6.3f "
      "%6.3f]"
      " translation (%.3f, %.3f, %.3f)\n",
      label, m.rotation(0, 0), m.rotation(0, 1), m.rotation(0, 2),
      m.rotation(1, 0), m.rotation(1, 1), m.rotation(1, 2), m.rotation(2, 0),
      m.rotation(2, 1), m.rotation(2, 2), t.x(), t.y(), t.z());
}

}  // namespace

void runModelDemo() {
  std::printf("== Points, lines and transform history\n");
  QUAX::ScanLine line;
  for (int i = 0; i < 4; ++i)
    line.appendPoint(QUAX::_GeoPoint<double>(i, 0, 0));
  // Give the second point a gray sum, as a scanner would.
  line.getPoint(1)->createExtensionList();
  auto* graysum = new QUAX::ScanPointGraysumData();
  graysum->setGraysum(4711);
  line.getPoint(1)->addItem(graysum);

  line.transform(QUAX::_MathMatrix<double>::rotationZ(M_PI / 2));
  line.transform(QUAX::_MathMatrix<double>::translation(10, 0, 0));

  const QUAX::ScanLine copy(line);  // one block, items copied
  std::printf(
      "  %zu points after a quarter turn about z and a shift of 10 in x:\n",
      copy.getPointCount());
  for (std::size_t i = 0; i < copy.getPointCount(); ++i) {
    const auto& p = copy.getPoint(i)->position();
    std::printf("    (%.3f, %.3f, %.3f)\n", p.x(), p.y(), p.z());
  }
  const auto* item = static_cast<QUAX::ScanPointGraysumData*>(
      copy.getPoint(1)
          ->findItem(QUAX::ScanPointGraysumData::GraysumDataKey)
          .getBody());
  std::printf("  gray sum of point 1 in the copy: %u\n", item->getGraysum());

  auto& history = *static_cast<QUAX::ScanTransformHistory<double>*>(
      line.findItem(
              QUAX::ScanTransformHistory<double>::getScanTransformHistoryKey())
          .getBody());
  std::printf("  transform history (%zu transforms):\n", history.size());
  printTransform("last", history.getLastTransform());
  printTransform("total", history.getTotalTransform());
  history.undoLastTransform();
  printTransform("undone", history.getTotalTransform());
}

}  // namespace quaxdemo
