// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "scan/ScanErrors.h"
#include "scan/model/ScanTransformHistory.h"
#include "util/Guid.h"

namespace QUAX {
namespace {

using History = ScanTransformHistory<double>;
using Mat = _MathMatrix<double>;
using Vec = _MathVector<double>;

TEST(ScanTransformHistory, ComposesInOrderAndUndoesToTheIdentity) {
  History h;
  EXPECT_THROW(h.undoLastTransform(), EScanTransformHistoryEmpty);
  EXPECT_THROW(h.getLastTransform(), EScanTransformHistoryEmpty);
  EXPECT_EQ(h.getTotalTransform(), Mat());
  h.applyTransform(Mat::translation(1, 0, 0));
  h.applyTransform(Mat::translation(0, 2, 0));
  EXPECT_EQ(h.getTotalTransform().getTranslation(), Vec(1, 2, 0));
  EXPECT_EQ(h.getLastTransform(), Mat::translation(0, 2, 0));

  std::unique_ptr<History> clone(static_cast<History*>(h.clone()));
  History assigned;
  assigned = h;
  h.undoLastTransform();
  EXPECT_EQ(h.getLastTransform(), Mat::translation(1, 0, 0));
  h.undoLastTransform();
  EXPECT_EQ(h.size(), 0u);
  EXPECT_EQ(h.getTotalTransform(), Mat());  // exact for translations
  for (const History* other : {clone.get(), &assigned}) {
    EXPECT_EQ(other->size(), 2u);
    EXPECT_EQ(other->getTotalTransform().getTranslation(), Vec(1, 2, 0));
  }
  EXPECT_TRUE(
      guidEquals(clone->getKey(), History::getScanTransformHistoryKey()));
}

TEST(ScanTransformHistory, RotationsApplyBeforeLaterTranslationsAndUndo) {
  History h;
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
