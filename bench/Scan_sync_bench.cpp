// SPDX-License-Identifier: MIT
// Cost of the surface guards when nobody else holds the lock, the price a
// reader pays for each frame count or frame slot it reads, and of getFrame
// on a complete surface, which should not depend on the number of frames.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>

#include "scan/model/ScanSurface.h"
#include "scan/sync/ScanSync.h"

namespace {

std::unique_ptr<QUAX::ScanSurfaceSyncInterface> makeSurfaceSync() {
  // The operations do not use the surface, so none is needed here.
  return std::unique_ptr<QUAX::ScanSurfaceSyncInterface>(
      QUAX::ScanSurfaceSyncCreator<double>(nullptr));
}

void BM_UncontendedReadGuard(benchmark::State& state) {
  auto sync = makeSurfaceSync();
  for (auto _ : state) {
    QUAX::ScanSurfaceReadSyncGuard guard(sync.get());
    benchmark::DoNotOptimize(&guard);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UncontendedReadGuard);

void BM_UncontendedWriteGuard(benchmark::State& state) {
  auto sync = makeSurfaceSync();
  for (auto _ : state) {
    QUAX::ScanSurfaceWriteSyncGuard guard(sync.get());
    benchmark::DoNotOptimize(&guard);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UncontendedWriteGuard);

// Readers on several threads share the lock; each guard still takes the
// lock mutex twice, so they contend on it.
void BM_SharedReadGuard(benchmark::State& state) {
  static std::unique_ptr<QUAX::ScanSurfaceSyncInterface> sync;
  if (state.thread_index() == 0) sync = makeSurfaceSync();
  for (auto _ : state) {
    QUAX::ScanSurfaceReadSyncGuard guard(sync.get());
    benchmark::DoNotOptimize(&guard);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SharedReadGuard)->Threads(1)->Threads(2);

void BM_GetFrameOnCompleteSurface(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  QUAX::ScanSurface surface;
  for (std::size_t i = 0; i < frames; ++i) {
    surface.appendFrame(std::make_unique<QUAX::ScanFrame>());
  }
  surface.setComplete();
  std::size_t index = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(surface.getFrame(index));
    if (++index == frames) index = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetFrameOnCompleteSurface)->RangeMultiplier(32)->Range(8, 8 << 15);

}  // namespace
