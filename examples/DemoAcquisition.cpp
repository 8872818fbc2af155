// SPDX-License-Identifier: MIT
#include <chrono>
#include <cstdio>
#include <thread>

#include "Demo.h"
#include "acquire/SimulatedScanner.h"

namespace quaxdemo {

using QUAX::ScannerSettings;
using QUAX::SimulatedScanner;

void runAcquisitionDemo() {
  std::printf(
      "\n== Acquisition: a filler thread appends frames while we read them\n");
  constexpr std::size_t kFrames = 200;
  QUAX::ScanSurface surface;

  std::thread acquisition([&surface] {
    SimulatedScanner scanner(ScannerSettings{});
    for (std::size_t i = 0; i < kFrames; ++i) {
      auto frame = std::make_unique<QUAX::ScanFrame>(scanner.profile(i));
      frame->getSyncObject()->setDataState(1);
      surface.appendFrame(std::move(frame));
      std::this_thread::sleep_for(
          std::chrono::microseconds(500));  // ~2 kHz scanner
    }
    surface.setComplete();
  });

  // getFrame waits for frames that have not arrived yet.
  std::size_t points = 0;
  double highest = -1e300;
  for (std::size_t i = 0; i < kFrames; ++i) {
    const QUAX::ScanLine* line = surface.getFrame(i)->getScanLine();
    points += line->getPointCount();
    for (std::size_t j = 0; j < line->getPointCount(); ++j) {
      highest = std::max(highest, line->getPoint(j)->position().z());
    }
    if ((i + 1) % 50 == 0) {
      std::printf(
          "  read %3zu frames (%zu points) while the surface holds %zu\n",
          i + 1, points, surface.getFrameCount());
    }
  }
  acquisition.join();
  std::printf("  surface complete: %zu frames, %zu points, highest z %.3f\n",
              surface.getFrameCount(), points, highest);
}

}  // namespace quaxdemo
