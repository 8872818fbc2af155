// SPDX-License-Identifier: MIT
// A live acquisition pipeline: an acquisition thread appends simulated
// frames to surfaces at a set line rate while filter threads take each frame
// as it arrives (getFrame waits for it) and smooth and thin its line. It
// measures the lag from a frame's append to the end of its filtering.
#ifndef QUAX_APPS_QUAXSCAN_LIVEPIPELINE_H_
#define QUAX_APPS_QUAXSCAN_LIVEPIPELINE_H_

#include <cstddef>
#include <functional>

namespace quaxscan {

struct LiveSettings {
  double lineRate = 10000.0;  // frames appended per second
  double seconds = 2.0;       // length of the acquisition
  std::size_t pointsPerLine = 2000;
  // Frames per surface: the scanner sweeps, and a surface is dropped once
  // all its frames are filtered, so memory holds only the backlog.
  std::size_t framesPerSurface = 500;
  unsigned filterThreads = 0;  // 0: one per hardware thread
  // The filters: an average filter (neighbourhood 5) then a chordal
  // deviation filter with this limit.
  double deviationLimit = 0.05;
  // The pipeline keeps up while the median lag of the last tenth of the
  // frames stays below this (a growing backlog shows there first) and the
  // acquisition reaches 98% of the line rate.
  double keepUpMs = 50.0;
  // Before the clock starts, the acquisition thread makes and frees the
  // frames of two surfaces, and (with glibc) freed memory then stays in the
  // process for good: a fresh process would otherwise fault in every new
  // line's memory page by page during its first second, which no host that
  // runs for hours sees.
  bool warmUp = true;
};

struct LiveProgress {
  std::size_t acquired = 0;  // frames appended so far
  std::size_t filtered = 0;  // frames filtered so far
  std::size_t total = 0;     // frames of the whole run
  double seconds = 0.0;      // since the first append
  double lastLagMs = 0.0;    // lag of the frame filtered last
};

struct LiveResult {
  std::size_t frames = 0;
  double lineRate = 0.0;     // frames appended per second, achieved
  double lagMedianMs = 0.0;  // append to filtered, all frames
  double lagP99Ms = 0.0;
  double lagMaxMs = 0.0;
  double lateTailMedianMs = 0.0;   // median lag of the last tenth
  double acquisitionLateMs = 0.0;  // worst lateness of an append
  std::size_t refusedLines = 0;    // lines a filter refused (left as they were)
  bool keptUp = false;
};

// Runs the pipeline; `progress`, when given, is called on the calling thread
// about ten times a second and once at the end.
LiveResult runLivePipeline(
    const LiveSettings& settings,
    const std::function<void(const LiveProgress&)>& progress = {});

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_LIVEPIPELINE_H_
