// SPDX-License-Identifier: MIT
// The ordered-grid patches the rigid stitch pairs points with.
#include <gtest/gtest.h>

#include <cmath>

#include "scan/stitch/FramedSurface.h"

namespace QUAX {
namespace stitch_detail {
namespace {

// z = 0.3 + 0.2 x - 0.1 y + 0.05 x² + 0.02 x y - 0.03 y², plus a 2-unit step
// from x = 3 on; frame i at y = 0.4 i, point j at x = 0.25 j + 0.01 i.
double height(double x, double y) {
  return 0.3 + 0.2 * x - 0.1 * y + 0.05 * x * x + 0.02 * x * y - 0.03 * y * y +
         (x >= 3.0 ? 2.0 : 0.0);
}

FramedPoints grid() {
  FramedPoints g;
  g.start.push_back(0);
  for (int i = 0; i < 12; ++i) {
    for (int j = 0; j < 20; ++j) {
      const double x = 0.25 * j + 0.01 * i, y = 0.4 * i;
      g.points.push_back(StitchPosition{x, y, height(x, y)});
    }
    g.start.push_back(g.points.size());
  }
  return g;
}

TEST(FramedSurface, PatchesReproduceAQuadraticAwayFromEdgesAndSteps) {
  const FramedPoints g = grid();
  for (std::size_t f = 0; f < g.frameCount(); ++f) {
    for (std::size_t j = 0; j < 20; ++j) {
      SCOPED_TRACE(testing::Message() << "frame " << f << " point " << j);
      const StitchPosition& p = g.points[g.start[f] + j];
      // Neighbours on one side only (ends of lines, first and last frame,
      // either side of the step): no patch. Elsewhere the patch keeps to
      // one side of the step.
      const bool edge = f == 0 || f + 1 == g.frameCount() || j == 0 ||
                        j == 19 || std::fabs(p.x - 3.0) < 0.25;
      const bool nearStep = std::fabs(p.x - 3.0) < 0.75;
      FramedPatch patch;
      const bool fitted = fitFramedPatch(g, f, j, 2, 1.0, 0.05, patch);
      if (edge) {
        EXPECT_FALSE(fitted);
        continue;
      }
      if (nearStep && !fitted) continue;
      ASSERT_TRUE(fitted);
      // Under a point beside the fitted one, the patch gives the surface
      // and its normal there (a quadratic over the tilted plane of the
      // neighbours only nearly fits a quadratic graph over z).
      const StitchPosition q{p.x + (p.x < 3.0 ? -0.1 : 0.1), p.y - 0.15, p.z};
      StitchPosition on, normal;
      patch.at(q, on, normal);
      EXPECT_NEAR(on.z, height(on.x, on.y), 1e-4);
      const double gx = 0.2 + 0.1 * on.x + 0.02 * on.y;
      const double gy = -0.1 + 0.02 * on.x - 0.06 * on.y;
      const double l = std::sqrt(gx * gx + gy * gy + 1.0);
      const double sign = normal.z < 0 ? -1.0 : 1.0;
      EXPECT_NEAR(sign * normal.x, -gx / l, 1e-3);
      EXPECT_NEAR(sign * normal.y, -gy / l, 1e-3);
      EXPECT_NEAR(sign * normal.z, 1.0 / l, 1e-3);
    }
  }
}

}  // namespace
}  // namespace stitch_detail
}  // namespace QUAX
