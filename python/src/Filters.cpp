// SPDX-License-Identifier: MIT
// quax.Filter and the three filters: construction, settings text, and
// applying them to scan sets without the GIL.
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "Bindings.h"
#include "scan/ScanErrors.h"
#include "scan/filters/FilterRegistry.h"
#include "scan/filters/ParallelFilter.h"
#include "scan/filters/ScanAverageFilter.h"
#include "scan/filters/ScanChordalDeviationFilter.h"
#include "scan/filters/ScanNPointFilter.h"
#include "util/WideText.h"

namespace quaxpy {

namespace {

using QUAX::ScanAverageFilter;
using QUAX::ScanChordalDeviationFilter;
using QUAX::ScanLineFilter;
using QUAX::ScanNPointFilter;

// The module's filters: the library's three.
const QUAX::FilterRegistry& registry() {
  static const QUAX::FilterRegistry filters;
  return filters;
}

// threads=: None (the library's serial walk) or a count of at least one
// (the parallel walk on that many threads, the same result).
unsigned checkThreads(const py::object& threads) {
  if (threads.is_none()) return 0;
  if (!py::isinstance<py::int_>(threads)) {
    throw py::type_error("threads must be None or an int");
  }
  const long long count = threads.cast<long long>();
  if (count < 1 || count > 4096) {
    throw py::value_error("threads must be from 1 to 4096");
  }
  return static_cast<unsigned>(count);
}

void apply(const ScanLineFilter& filter, SetHandle& set,
           const py::object& threads) {
  const unsigned count = checkThreads(threads);
  UseMark mark({set.store.get()}, true);
  py::gil_scoped_release release;
  if (count == 0) {
    filter.applyFilter(*set.set);
  } else {
    QUAX::applyFilterParallel(filter, *set.set, count);
  }
}

py::array_t<double> filterPoints(const ScanLineFilter& filter,
                                 py::handle points) {
  const py::array_t<double> checked = pointsArgument(points, "points");
  auto surface = std::make_unique<QUAX::ScanSurface>();
  surface->appendFrame(std::make_unique<QUAX::ScanFrame>(makeLine(checked)));
  surface->setComplete();
  QUAX::ScanSet set;
  set.addSurface(std::move(surface));
  filter.applyFilter(set);
  return linePoints(*set.getSurface(0)->getFrame(0)->getScanLine());
}

ScanNPointFilter::ScanNPointFilterAlgorithm algorithmOf(
    const py::object& algorithm) {
  if (py::isinstance<py::str>(algorithm)) {
    const std::string name = algorithm.cast<std::string>();
    if (name == "equal_index") return ScanNPointFilter::EQUAL_INDEX;
    if (name == "equal_arc_length") return ScanNPointFilter::EQUAL_ARC_LENGTH;
    if (name == "chordal_deviation") return ScanNPointFilter::CHORDAL_DEVIATION;
    throw py::value_error("unknown N-point algorithm '" + name +
                          "': equal_index, equal_arc_length or "
                          "chordal_deviation");
  }
  if (!PyIndex_Check(algorithm.ptr())) {
    throw py::type_error("algorithm must be a name or an int");
  }
  const long long value = py::int_(algorithm).cast<long long>();
  // The library refuses values outside its three; so does this.
  if (value < 0 || value > std::numeric_limits<std::uint32_t>::max()) {
    throw QUAX::EScanUnknownNPointFilterAlgorithm();
  }
  return static_cast<ScanNPointFilter::ScanNPointFilterAlgorithm>(value);
}

// The filters whose settings blocks `text` holds, in order, as the
// library's registry makes them: the library's settings exceptions keep
// their class, with a note naming the block's line; the rest is ValueError.
py::list filtersFromSettings(const std::wstring& text) {
  std::vector<std::unique_ptr<ScanLineFilter>> read;
  try {
    read = registry().read(
        text, "the settings text",
        [](std::size_t line) {
          return "line " + std::to_string(line) + " of the settings text";
        },
        [](const QUAX::EVXException& e, const ScanLineFilter&,
           const std::string& where) {
          raiseScanError(e, "in the block starting at " + where);
        });
  } catch (const QUAX::EScanFilterSettingsError& e) {
    throw py::value_error(e.message());
  }
  py::list filters;
  for (auto& filter : read) filters.append(py::cast(std::move(filter)));
  return filters;
}

// A filter of the class registered under `key` that has read the one block
// `text` holds, with the library's settings exceptions.
py::object fromSettings(const std::wstring& key, const std::wstring& text) {
  std::unique_ptr<ScanLineFilter> filter = registry().make(key);
  std::wistringstream in(text);
  QUAX::readFilterSettings(in, *filter);
  return py::cast(std::move(filter));
}

std::string settingsOf(const ScanLineFilter& filter) {
  return QUAX::toUtf8(QUAX::filterSettingsText(filter));
}

void bindFilterBase(py::module_& m) {
  py::class_<ScanLineFilter>(m, "Filter", R"doc(
A scan line filter: AverageFilter, ChordalDeviationFilter or NPointFilter.
Its settings are fixed when it is made, from arguments or settings text.
Every filter may be shared between threads: apply() and filter_points() on
one filter may run in several threads at once (each call works in buffers of
its own), as long as the threads filter different scans.)doc")
      .def_property_readonly(
          "key", [](const ScanLineFilter& f) { return f.getKey(); },
          "The filter's class name, also the name of its settings block.")
      .def_property_readonly("settings", &settingsOf,
                             "The settings block as the library writes it.")
      .def("apply", &apply, py::arg("scan"), py::kw_only(),
           py::arg("threads") = py::none(), R"doc(
Filters every scan line of every frame of `scan` (a ScanSet) in place, as
the library's applyFilter does: a frame the filter refuses with a scan
exception (no scan line, a line too short for an N-point filter, ...) is left
as it was and the walk goes on; any other exception ends it, the frames
already filtered staying changed.

The GIL is released meanwhile; other threads may use other scan sets (the
scan raises RuntimeError if used from Python before the call returns).
threads: None runs the library's serial walk on the calling thread; a count
of at least 1 runs its parallel walk on that many threads, with the same
result bit for bit. With threads, of the exceptions other than scan
exceptions the one of the lowest frame reaches the caller after every thread
has stopped, and frames after it may have been filtered too.)doc")
      .def("filter_points", &filterPoints, py::arg("points"), R"doc(
The filtered points of one scan line: applies the filter, as apply() does, to
a line holding a copy of `points` ((n, 3) float64) and returns its points as
a new array. `points` is not changed.)doc")
      .def("__repr__", [](const ScanLineFilter& f) {
        std::string text = settingsOf(f);
        std::replace(text.begin(), text.end(), '\n', ' ');
        return "<quax." +
               std::string(
                   py::str(py::type::of(py::cast(&f)).attr("__name__"))) +
               ": " + text.substr(0, text.size() ? text.size() - 1 : 0) + ">";
      });

  m.def("filters_from_settings", &filtersFromSettings, py::arg("text"), R"doc(
The filters whose settings blocks `text` holds (as quaxscan's filter
--settings files do), in order, as a list, made by the library's filter
registry. A block that cannot be read
raises the library's settings exception (EScanIOBadHeader,
EScanIOBadAttribute, EScanIOBadFooter) with a note naming its line; text
that holds no block, or a line that starts none, raises ValueError.)doc");
}

void bindFilterClasses(py::module_& m) {
  py::class_<ScanAverageFilter, ScanLineFilter>(m, "AverageFilter", R"doc(
Smooths each scan line: every point moves across the chord of its
neighbours to their Gaussian-weighted mean distance from it. Neighbours
farther than proximity_limit take no part. May be shared between threads.)doc")
      .def(py::init<std::int32_t, double>(), py::arg("neighborhood_size"),
           py::arg("proximity_limit") = 500.0, R"doc(
Raises EScanNeighborhoodSizeOutOfRange (size < 1),
EScanNeighborhoodSizeNotOddNumber (an even size) or
EScanNonPositiveProximityLimit.)doc")
      .def_static(
          "from_settings",
          [](const std::wstring& text) {
            return fromSettings(ScanAverageFilter::_scanAverageFilterKey, text);
          },
          py::arg("text"), "Reads one <ScanAverageFilter> settings block.");

  py::class_<ScanChordalDeviationFilter, ScanLineFilter>(
      m, "ChordalDeviationFilter", R"doc(
Thins each scan line to the points that deviate from the chord of their
neighbours by deviation_limit or more, or end a chord of max_span.
May be shared between threads.)doc")
      .def(py::init<double, double, std::size_t>(), py::arg("deviation_limit"),
           py::arg("max_span") = 2000.0, py::arg("max_point_count") = 8000,
           R"doc(
Lines up to max_point_count points are filtered without allocating. Raises
EScanNonPositiveDeviationLimit or EScanNonPositiveMaxSpan.)doc")
      .def_static(
          "from_settings",
          [](const std::wstring& text) {
            return fromSettings(
                ScanChordalDeviationFilter::_scanChordalDeviationFilterKey,
                text);
          },
          py::arg("text"),
          "Reads one <ScanChordalDeviationFilter> settings block.");

  py::class_<ScanNPointFilter, ScanLineFilter> nPoint(m, "NPointFilter", R"doc(
Reduces each scan line to number_of_points of its points, by algorithm
"equal_index", "equal_arc_length" or "chordal_deviation" (or 0, 1, 2).
May be shared between threads.)doc");
  nPoint
      .def(py::init(
               [](std::int32_t numberOfPoints, const py::object& algorithm) {
                 return std::make_unique<ScanNPointFilter>(
                     numberOfPoints, algorithmOf(algorithm));
               }),
           py::arg("number_of_points"), py::arg("algorithm"), R"doc(
Raises EScanNonPositiveNumberOfPoints, EScanNPointFilterTooSmall (1 or 2
points) or EScanUnknownNPointFilterAlgorithm.)doc")
      .def_static(
          "from_settings",
          [](const std::wstring& text) {
            return fromSettings(ScanNPointFilter::_scanNPointFilterKey, text);
          },
          py::arg("text"), "Reads one <ScanNPointFilter> settings block.");
  nPoint.attr("EQUAL_INDEX") = 0;
  nPoint.attr("EQUAL_ARC_LENGTH") = 1;
  nPoint.attr("CHORDAL_DEVIATION") = 2;
}

}  // namespace

void bindFilters(py::module_& m) {
  bindFilterBase(m);
  bindFilterClasses(m);
}

}  // namespace quaxpy
