// SPDX-License-Identifier: MIT
// An SVG figure of a scan set: chosen scan lines as profiles (measured and,
// when given, filtered, on one panel each) above a top view of the surfaces.
#ifndef QUAX_APPS_QUAXSCAN_SVGPLOT_H_
#define QUAX_APPS_QUAXSCAN_SVGPLOT_H_

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "apps/quaxscan/ScanSetSummary.h"
#include "scan/model/ScanLine.h"
#include "scan/model/ScanSet.h"

namespace quaxscan {

// One scan line of the set, as measured and optionally after filtering.
struct ProfilePanel {
  std::size_t surface = 0;
  std::size_t frame = 0;
  const QUAX::ScanLine* measured = nullptr;
  const QUAX::ScanLine* filtered = nullptr;  // null: measured only
  std::string filteredLabel;                 // e.g. the filters' names
};

// Writes a standalone SVG document: `title` and `subtitle` (one line each;
// the subtitle may be empty), one profile panel per entry of
// `panels` (position along the line across, height z up), and a top view of
// every surface of `set` (x across, y up, one colour per surface, gaps left
// open) with the panels' lines marked.
void writeSvgPlot(const QUAX::ScanSet& set,
                  const std::vector<ProfilePanel>& panels,
                  const std::string& title, const std::string& subtitle,
                  std::ostream& out);

// One top view of where surfaces overlap, e.g. of a scan before or after
// stitching.
struct OverlapPanel {
  std::string label;
  std::vector<OverlapSample> samples;
};

// Writes a standalone SVG document: `title` and `subtitle`, then each panel
// as a top view (x across, y up, all on one scale) whose cells are coloured
// by the mean signed distance of their samples, on one colour scale for all
// panels (blue below, red above, pale near 0), with a colour bar and each
// panel's mean distance size.
void writeOverlapPlot(const std::vector<OverlapPanel>& panels,
                      const std::string& title, const std::string& subtitle,
                      std::ostream& out);

}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_SVGPLOT_H_
