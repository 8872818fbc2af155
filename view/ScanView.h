// SPDX-License-Identifier: MIT
// The interactive 3D view of a scan set: one self-contained HTML page that
// opens in any browser without a network. It shows the points in 3D (orbit,
// pan, zoom), coloured by height, surface, gray sum, deviation from the
// filtered line or distance to the other surfaces, with a colour bar and a
// legend; surfaces switch on and off; a frame slider marks one scan line and
// draws its profile beside the view. A second set ("before", e.g. the scan
// before stitching) can travel in the same page.
#ifndef QUAX_VIEW_SCANVIEW_H_
#define QUAX_VIEW_SCANVIEW_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "scan/model/ScanSet.h"
#include "util/VXException.h"
#include "view/QUAXViewExport.h"

namespace QUAX {

class ScanLineFilter;

// Options the page cannot be written with (an unknown colour name, no room
// for any point, a colour that needs what the set lacks).
class QUAX_VIEW_API EViewBadOption : public EVXException {
 public:
  explicit EViewBadOption(const std::string& message);
};

enum class ViewColour {
  kHeight,     // z
  kSurface,    // one colour per surface
  kGray,       // the point's gray sum (none: drawn pale)
  kDeviation,  // signed distance from the filtered scan line
  kOverlap,    // signed distance to the nearest point of another surface
};

// "height", "surface", "gray", "deviation", "overlap".
QUAX_VIEW_API const char* viewColourName(ViewColour colour) noexcept;
// Throws EViewBadOption for any other name.
QUAX_VIEW_API ViewColour viewColourFromName(const std::string& name);

struct ViewOptions {
  static constexpr std::uint32_t kDefaultMaxPoints = 3000000;
  static constexpr std::uint32_t kDefaultFirstFramePoints = 250000;

  ViewColour colour = ViewColour::kHeight;
  // More points than this are thinned evenly (every point whose share of
  // the count crosses a whole number is kept), and the page says so. The
  // limit holds for each set of the page on its own.
  std::uint32_t maxPoints = kDefaultMaxPoints;
  // A set with more points shown than this is drawn in two steps: first
  // every k-th point of each surface, k = ceil(shown / firstFramePoints),
  // then, on the browser's next frame, all of them; the page says so while
  // it draws the rest. A large set is thus seen at once even where WebGL
  // runs on a software renderer. 0: every point in the first frame.
  std::uint32_t firstFramePoints = kDefaultFirstFramePoints;
  std::string title;  // empty: "Scan set"
  // Shown as a second layer of the page (the view switches between them),
  // coloured on the same scale. Not owned; null: none.
  const ScanSet* before = nullptr;
  // The filters whose result kDeviation measures from, applied in order to
  // a copy of each scan line; empty: an average filter over 5 points
  // (ScanAverageFilter(5, 500)). Not owned.
  std::vector<const ScanLineFilter*> filters;
  // kOverlap: how far to look for another surface; points with none nearer
  // have no value.
  double overlapRadius = 1.0;
};

// What a page holds.
struct ViewReport {
  std::uint64_t points = 0;  // in the set
  std::uint64_t shown = 0;   // drawn after thinning
  std::uint64_t beforePoints = 0;
  std::uint64_t beforeShown = 0;
  std::uint64_t valued = 0;  // drawn points with a colour value
};

// Writes the page for `set`. Reads the set only (the frames present when
// each surface's count is read); throws EViewBadOption for bad options and
// passes on the library's exceptions. An empty or one-point set gives a page
// that says so instead of a view.
// REQUIRES: no other thread writes the sets' scan lines meanwhile.
QUAX_VIEW_API ViewReport writeScanView(const ScanSet& set,
                                       const ViewOptions& options,
                                       std::ostream& out);

// The three.js revision inlined in every page.
QUAX_VIEW_API const char* viewThreeJsRevision() noexcept;

}  // namespace QUAX

#endif  // QUAX_VIEW_SCANVIEW_H_
