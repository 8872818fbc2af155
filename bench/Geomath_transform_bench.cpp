// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>

#include <vector>

#include "geomath/GeoPoint.h"

namespace {

using Point = QUAX::_GeoPoint<double>;
using Mat = QUAX::_MathMatrix<double>;

// Transforming positions in place, with the validity test per point as the
// entity transform does it.
void BM_GeoPointTransform(benchmark::State& state) {
  std::vector<Point> points(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].set(double(i), double(i % 7), 1.0);
  }
  Mat m = Mat::rotationZ(1e-6);
  m.setTranslation(QUAX::_MathVector<double>(1e-6, 0, 0));
  for (auto _ : state) {
    for (auto& p : points) p.transform(m);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GeoPointTransform)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);

}  // namespace
