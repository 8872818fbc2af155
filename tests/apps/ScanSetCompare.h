// SPDX-License-Identifier: MIT
// Test helpers: whether two scan sets hold the same points, bit for bit.
#ifndef QUAX_TESTS_APPS_SCANSETCOMPARE_H_
#define QUAX_TESTS_APPS_SCANSETCOMPARE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "scan/model/ScanPointItems.h"
#include "scan/model/ScanSet.h"

namespace quaxscan {
namespace test {

inline bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The gray sum and pixels of a point, -1 where it has none.
struct ItemValues {
  std::int64_t graysum = -1, low = -1, high = -1;
  bool operator==(const ItemValues& o) const {
    return graysum == o.graysum && low == o.low && high == o.high;
  }
};

inline ItemValues itemValues(const QUAX::ScanPoint& p) {
  ItemValues v;
  if (!p.hasExtensionList()) return v;
  try {
    v.graysum =
        static_cast<const QUAX::ScanPointGraysumData*>(
            p.findItem(QUAX::ScanPointGraysumData::GraysumDataKey).getBody())
            ->getGraysum();
  } catch (const QUAX::EVXException&) {
  }
  try {
    const auto* tp = static_cast<const QUAX::ScanPointTPData*>(
        p.findItem(QUAX::ScanPointTPData::TPDataKey).getBody());
    v.low = tp->getLowPixel();
    v.high = tp->getHighPixel();
  } catch (const QUAX::EVXException&) {
  }
  return v;
}

inline std::size_t pointsOf(const QUAX::ScanFrame& frame) {
  return frame.hasScanLine() ? frame.getScanLine()->getPointCount() : 0;
}

// Same surfaces, frames, point positions (bit for bit) and, with
// `withItems`, the same gray sums and pixels. A frame without a scan line
// equals one with an empty line.
inline ::testing::AssertionResult sameScanSet(const QUAX::ScanSet& a,
                                              const QUAX::ScanSet& b,
                                              bool withItems = true) {
  if (a.getSurfaceCount() != b.getSurfaceCount()) {
    return ::testing::AssertionFailure()
           << a.getSurfaceCount() << " surfaces against "
           << b.getSurfaceCount();
  }
  for (std::size_t s = 0; s < a.getSurfaceCount(); ++s) {
    const QUAX::ScanSurface& sa = *a.getSurface(s);
    const QUAX::ScanSurface& sb = *b.getSurface(s);
    if (sa.getFrameCount() != sb.getFrameCount()) {
      return ::testing::AssertionFailure()
             << "surface " << s << ": " << sa.getFrameCount()
             << " frames against " << sb.getFrameCount();
    }
    for (std::size_t f = 0; f < sa.getFrameCount(); ++f) {
      const QUAX::ScanFrame& fa = *sa.getFrame(f);
      const QUAX::ScanFrame& fb = *sb.getFrame(f);
      if (pointsOf(fa) != pointsOf(fb)) {
        return ::testing::AssertionFailure()
               << "surface " << s << ", frame " << f << ": " << pointsOf(fa)
               << " points against " << pointsOf(fb);
      }
      for (std::size_t i = 0; i < pointsOf(fa); ++i) {
        const QUAX::ScanPoint& pa = *fa.getScanLine()->getPoint(i);
        const QUAX::ScanPoint& pb = *fb.getScanLine()->getPoint(i);
        const auto& qa = pa.position();
        const auto& qb = pb.position();
        if (!sameBits(qa.x(), qb.x()) || !sameBits(qa.y(), qb.y()) ||
            !sameBits(qa.z(), qb.z())) {
          return ::testing::AssertionFailure()
                 << "surface " << s << ", frame " << f << ", point " << i
                 << ": (" << qa.x() << ", " << qa.y() << ", " << qa.z()
                 << ") against (" << qb.x() << ", " << qb.y() << ", " << qb.z()
                 << ")";
        }
        if (withItems && !(itemValues(pa) == itemValues(pb))) {
          return ::testing::AssertionFailure()
                 << "surface " << s << ", frame " << f << ", point " << i
                 << ": other gray sum or pixels";
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace test
}  // namespace quaxscan

#endif  // QUAX_TESTS_APPS_SCANSETCOMPARE_H_
