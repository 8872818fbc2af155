// SPDX-License-Identifier: MIT
// Checks and builders shared by the data model tests.
#ifndef QUAX_TESTS_SCAN_MODEL_MODELTESTSUPPORT_H_
#define QUAX_TESTS_SCAN_MODEL_MODELTESTSUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>

#include "scan/model/ScanPoint.h"
#include "scan/model/ScanPointArray.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace testing {

// Slot i is bound to block element i: consecutive slots are consecutive
// points of one allocation.
inline void expectBoundToBlock(const _ScanPointArray<double>& a) {
  ASSERT_TRUE(a.ownsBlock());
  for (std::size_t i = 1; i < a.size(); ++i) {
    EXPECT_EQ(a[i], a[0] + i) << "slot " << i;
  }
}

inline std::uint32_t graysumOf(const ScanPoint& p) {
  return static_cast<ScanPointGraysumData*>(
             p.findItem(ScanPointGraysumData::GraysumDataKey).getBody())
      ->getGraysum();
}

// Gives `p` a gray-sum item holding `value`.
inline void addGraysum(ScanPoint& p, std::uint32_t value) {
  p.createExtensionList();
  auto* item = new ScanPointGraysumData();
  item->setGraysum(value);
  p.addItem(item);
}

}  // namespace testing
}  // namespace QUAX

#endif  // QUAX_TESTS_SCAN_MODEL_MODELTESTSUPPORT_H_
