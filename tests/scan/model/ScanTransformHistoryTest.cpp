// SPDX-License-Identifier: MIT
#include "scan/model/ScanTransformHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "scan/ScanErrors.h"
#include "util/Guid.h"

namespace QUAX {
namespace {

using History = ScanTransformHistory<double>;
using Mat = _MathMatrix<double>;
using Vec = _MathVector<double>;

TEST(ScanTransformHistory, NewHistoryIsIdentityAndCannotUndo) {
  History h;
  EXPECT_EQ(h.getTotalTransform(), Mat());
  EXPECT_THROW(h.undoLastTransform(), EScanTransformHistoryEmpty);
  EXPECT_THROW(h.getLastTransform(), EScanTransformHistoryEmpty);
  EXPECT_EQ(h.getTotalTransform(), Mat());
}

TEST(ScanTransformHistory, TranslationsComposeAndUndo) {
  History h;
  h.applyTransform(Mat::translation(1, 0, 0));
  h.applyTransform(Mat::translation(0, 2, 0));
  EXPECT_EQ(h.getTotalTransform().getTranslation(), Vec(1, 2, 0));
  EXPECT_EQ(h.getLastTransform(), Mat::translation(0, 2, 0));
  h.undoLastTransform();
  EXPECT_EQ(h.getTotalTransform().getTranslation(), Vec(1, 0, 0));
  EXPECT_EQ(h.getLastTransform(), Mat::translation(1, 0, 0));
  h.undoLastTransform();
  EXPECT_EQ(h.size(), 0u);
  EXPECT_EQ(h.getTotalTransform(), Mat());  // exact for translations
}

TEST(ScanTransformHistory, RotationIsAppliedBeforeTheLaterTranslation) {
  History h;
  h.applyTransform(Mat::rotationZ(M_PI / 2));
  h.applyTransform(Mat::translation(1, 0, 0));
  const Vec p = h.getTotalTransform().applyToPosition(Vec(1, 0, 0));
  EXPECT_NEAR(p.x(), 1, 1e-15);
  EXPECT_NEAR(p.y(), 1, 1e-15);
}

TEST(ScanTransformHistory, UndoOfARotationRestoresTheIdentityUpToRounding) {
  History h;
  Mat m = Mat::rotationZ(0.4);
  m.setTranslation(Vec(1, 2, 3));
  h.applyTransform(m);
  h.undoLastTransform();
  const Vec p = h.getTotalTransform().applyToPosition(Vec(5, 6, 7));
  EXPECT_NEAR(p.x(), 5, 1e-14);
  EXPECT_NEAR(p.y(), 6, 1e-14);
  EXPECT_NEAR(p.z(), 7, 1e-14);
}

TEST(ScanTransformHistory, CloneIsIndependent) {
  History h;
  h.applyTransform(Mat::translation(1, 0, 0));
  std::unique_ptr<History> clone(static_cast<History*>(h.clone()));
  clone->undoLastTransform();
  EXPECT_EQ(h.size(), 1u);
  EXPECT_EQ(h.getTotalTransform().getTranslation(), Vec(1, 0, 0));
  EXPECT_TRUE(guidEquals(clone->getKey(), h.getKey()));
}

TEST(ScanTransformHistory, KeyIsTheContainersLookupKey) {
  EXPECT_EQ(guidToString(History::getScanTransformHistoryKey()),
            "{0A5F231D-9CE6-44B8-91DE-A01E950DE011}");
  std::unique_ptr<ExtensionItem, ExtensionItemDeleter> created(History::create());
  EXPECT_TRUE(guidEquals(created->getKey(), History::getScanTransformHistoryKey()));
}

TEST(ScanTransformHistory, AssignmentCopiesRecordsNotKey) {
  History a, b;
  a.applyTransform(Mat::translation(0, 0, 3));
  b = a;
  EXPECT_EQ(b.size(), 1u);
  EXPECT_EQ(b.getTotalTransform(), a.getTotalTransform());
}

}  // namespace
}  // namespace QUAX
