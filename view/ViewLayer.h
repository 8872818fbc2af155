// SPDX-License-Identifier: MIT
// The points of one set as the view page draws them: thinned, in scan order,
// with the frames' and surfaces' ranges and one colour value per point.
#ifndef QUAX_VIEW_VIEWLAYER_H_
#define QUAX_VIEW_VIEWLAYER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "scan/model/ScanSet.h"
#include "view/ScanView.h"

namespace QUAX {
namespace view {

struct ViewLayer {
  std::string name;
  std::uint64_t totalPoints = 0;  // in the set, before thinning
  std::vector<double> xyz;        // the kept points, x y z each
  std::vector<double> values;     // one per kept point; NaN: no value
  // Kept points of global frame k (the frames of all surfaces in order):
  // [frameStarts[k], frameStarts[k + 1]).
  std::vector<std::uint32_t> frameStarts;
  // Global frames of surface s: [surfaceFrames[s], surfaceFrames[s + 1]).
  std::vector<std::uint32_t> surfaceFrames;

  std::size_t size() const noexcept { return values.size(); }
};

// Gathers `set`'s points, keeping at most options.maxPoints of them evenly,
// and gives each its value for options.colour. Throws EViewBadOption when
// the set has more points than a page can index (2^32 - 1).
ViewLayer gatherLayer(const ScanSet& set, const ViewOptions& options,
                      const std::string& name);

// The distance of (px, py, pz) from the segment a-b, as a signed distance
// whose sign is that of p's height over the nearest point of the segment.
double signedSegmentDistance(const double* p, const double* a,
                             const double* b) noexcept;

}  // namespace view
}  // namespace QUAX

#endif  // QUAX_VIEW_VIEWLAYER_H_
