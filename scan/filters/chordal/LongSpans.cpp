// SPDX-License-Identifier: MIT
#include "scan/filters/chordal/LongSpans.h"

namespace QUAX {

LongSpans::LongSpans(const Point* p, std::size_t n, double deviationLimit,
                     ChordalWork& work)
    : _p(p),
      _none(n),
      _deviation(deviationLimit),
      _rounding(deviationRounding(p, n)),
      // A limit that is not a positive number leaves every block to the
      // per-point test.
      _below(deviationLimit * (1.0 - kBoundSlack) - _rounding),
      _work(work) {
  const std::size_t blockCount = (n >> kBlockShift) + 1;
  const std::size_t groupCount = (blockCount >> kGroupShift) + 1;
  if (work.blocks.size() < blockCount) work.blocks.resize(blockCount);
  if (work.groups.size() < groupCount) work.groups.resize(groupCount);
  for (std::size_t b = 0; b < blockCount; ++b) work.blocks[b].anchor = _none;
  for (std::size_t g = 0; g < groupCount; ++g) work.groups[g].anchor = _none;
  work.whole.anchor = _none;
  work.closed.anchor = _none;
  _blocks = work.blocks.data();
  _groups = work.groups.data();
}

void LongSpans::skip(std::size_t i) {
  _blocks[i >> kBlockShift].anchor = _none;
}

}  // namespace QUAX
