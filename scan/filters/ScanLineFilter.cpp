// SPDX-License-Identifier: MIT
#include "scan/filters/ScanLineFilter.h"

#include "scan/ScanErrors.h"
#include "scan/model/ScanFrame.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"
#include "scan/model/ScanSurface.h"

namespace QUAX {

ScanLineFilter::ScanLineFilter(const std::wstring& key) : _key(key) {}
ScanLineFilter::ScanLineFilter(const ScanLineFilter& other) = default;
ScanLineFilter& ScanLineFilter::operator=(const ScanLineFilter& other) =
    default;
ScanLineFilter::~ScanLineFilter() = default;

const std::wstring& ScanLineFilter::getKey() const noexcept { return _key; }

void ScanLineFilter::applyFilter(_ScanSet<double>& set) const {
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const _ScanSurface<double>* surface = set.getSurface(s);
    // The count is read under the surface's read guard for every frame, so
    // frames appended while the walk runs are filtered too.
    for (std::size_t i = 0; i < surface->getFrameCount(); ++i) {
      try {
        filterLine(surface->getFrame(i)->getScanLine());
      } catch (const EScanException&) {
        // A frame without a line, past the end, or refused by the filter:
        // the walk goes on with the next frame.
      }
    }
  }
}

}  // namespace QUAX
