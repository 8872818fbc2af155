// SPDX-License-Identifier: MIT
// Internal: the buffers of the chordal deviation thinning, reused from run to
// run, and what they hold about the points of a long span.
#ifndef QUAX_SCAN_FILTERS_CHORDAL_THINNINGWORK_H_
#define QUAX_SCAN_FILTERS_CHORDAL_THINNINGWORK_H_

#include <cstddef>
#include <vector>

namespace QUAX {

// What the thinning knows about a block of consecutive points of the current
// span: the largest deviation of its points from a reference chord direction
// through the anchor, and their largest squared distance from the anchor.
// When the chord turns by |u - reference|, no point of the block moves away
// from it by more than that distance times the turn, so a block far enough
// below the limit needs no per-point test.
struct ChordBlock {
  double ux, uy, uz;    // the reference direction (unit)
  double deviation;     // largest deviation from it (NaN: unknown)
  double reachSquared;  // largest squared distance from the anchor
  std::size_t anchor;   // the anchor these hold for
};

// Buffers of one thinning run, reused from run to run.
struct ChordalWork {
  std::vector<ChordBlock> blocks;
  std::vector<ChordBlock> groups;  // of 8 blocks, bounded by their bounds
  // Summaries: of the span's whole groups (those before group wholeEnd),
  // and of the closed blocks of the open group (before block closedEnd).
  ChordBlock whole{};
  ChordBlock closed{};
  std::size_t wholeEnd = 0;
  std::size_t closedEnd = 0;
  std::vector<double> lanes;  // the four-lane walk's coordinates by axis
};

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_CHORDAL_THINNINGWORK_H_
