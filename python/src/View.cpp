// SPDX-License-Identifier: MIT
// quax.view's compiled part: the 3D view page of a scan set (view/ScanView.h)
// as text. Built where the view is (three.js found).
#include <pybind11/stl.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Bindings.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanLineFilter.h"
#include "view/ScanView.h"

namespace quaxpy {

void bindView(py::module_& m) {
  m.def(
      "_view_page",
      [](SetHandle& set, SetHandle* before, const std::string& colour,
         std::uint32_t maxPoints, std::optional<std::uint32_t> firstFramePoints,
         const std::vector<QUAX::ScanLineFilter*>& filters,
         double tolerance, const std::string& title) {
        QUAX::ViewOptions options;
        try {
          options.colour = QUAX::viewColourFromName(colour);
        } catch (const QUAX::EViewBadOption& e) {
          throw py::value_error(e.what());
        }
        options.maxPoints = maxPoints;
        if (firstFramePoints) options.firstFramePoints = *firstFramePoints;
        options.overlapRadius = tolerance;
        options.title = title;
        options.filters.assign(filters.begin(), filters.end());
        std::vector<Store*> stores{set.store.get()};
        if (before != nullptr) {
          options.before = before->set;
          stores.push_back(before->store.get());
        }
        std::ostringstream out;
        UseMark mark(stores, false);
        // Chordal deviation and N-point filters keep working state: each is
        // marked once (a list may name one twice), as Filter.apply marks it.
        std::vector<std::unique_ptr<ObjectUse>> filterUses;
        for (std::size_t i = 0; i < filters.size(); ++i) {
          if (dynamic_cast<const QUAX::ScanAverageFilter*>(filters[i]) ||
              std::find(filters.begin(), filters.begin() + i, filters[i]) !=
                  filters.begin() + i) {
            continue;
          }
          filterUses.push_back(std::make_unique<ObjectUse>(filters[i], "filter"));
        }
        try {
          py::gil_scoped_release release;
          QUAX::writeScanView(*set.set, options, out);
        } catch (const QUAX::EViewBadOption& e) {
          throw py::value_error(e.what());
        }
        return out.str();
      },
      py::arg("scan"), py::arg("before"), py::arg("color"),
      py::arg("max_points"), py::arg("first_frame_points"), py::arg("filters"), py::arg("tolerance"),
      py::arg("title"));
  m.attr("_three_js_revision") = QUAX::viewThreeJsRevision();
}

}  // namespace quaxpy
