// SPDX-License-Identifier: MIT
// quax.Extent and quax.extent: the extent of a surface, its nodes as arrays
// and as the library's node text.
#include <sstream>
#include <string>
#include <vector>

#include "Bindings.h"
#include "geomath/GeoLine.h"
#include "scan/extent/SurfaceExtent.h"

namespace quaxpy {

namespace {

using QUAX::SurfaceExtent;

constexpr const char* kWhat = "extent";

std::vector<QUAX::ScanNode*> nodesOf(const SurfaceExtent& extent) {
  ObjectUse::checkIdle(&extent, kWhat);
  std::vector<QUAX::ScanNode*> nodes;
  extent.getNodeList(&nodes);
  return nodes;
}

void calculate(SurfaceExtent& extent, SurfaceHandle& surface) {
  ObjectUse use(&extent, kWhat);
  UseMark mark({surface.store.get()}, false);
  py::gil_scoped_release release;
  extent.calculateExtents(surface.surface);
}

py::array_t<double> vector3(double x, double y, double z) {
  py::array_t<double> out(3);
  double* v = out.mutable_data();
  v[0] = x;
  v[1] = y;
  v[2] = z;
  return out;
}

// The nodes of `e` as rows of 11 numbers, in the order of the node text.
py::array_t<double> nodeRows(const SurfaceExtent& e) {
  const auto nodes = nodesOf(e);
  py::array_t<double> out(
      {static_cast<py::ssize_t>(nodes.size()), py::ssize_t(11)});
  double* row = out.mutable_data();
  for (const QUAX::ScanNode* node : nodes) {
    QUAX::_GeoPoint<double> p;
    node->getLocation(p);
    row[0] = p.x(), row[1] = p.y(), row[2] = p.z();
    node->getStartLocation(p);
    row[3] = p.x(), row[4] = p.y(), row[5] = p.z();
    node->getEndLocation(p);
    row[6] = p.x(), row[7] = p.y(), row[8] = p.z();
    node->getProjectedDistance(row[9]);
    node->getprojectedDifferential(row[10]);
    row += 11;
  }
  return out;
}

}  // namespace

void bindExtent(py::module_& m) {
  py::class_<SurfaceExtent>(m, "Extent", R"doc(
The extent of a surface: the direction in which it runs from frame to frame
(the split direction), a reference line along it, and one node per frame
whose scan line holds six points or more. Every array it returns is a new
copy.)doc")
      .def(py::init<>(), "An extent without nodes.")
      .def("calculate", &calculate, py::arg("surface"), R"doc(
Computes the extent of `surface` and appends its nodes (nodes of earlier
calls stay, as the library keeps them). Reads the surface only. The GIL is
released meanwhile.)doc")
      .def("__len__", [](const SurfaceExtent& e) { return nodesOf(e).size(); })
      .def_property_readonly("nodes", &nodeRows,
                             R"doc(
The nodes as a new (n, 11) array, one row per node in the order of the node
text: middle point x, y, z; first point x, y, z; last point x, y, z; the
middle point's distance from the reference line; its change per unit of
travel.)doc")
      .def_property_readonly(
          "frame_indices",
          [](const SurfaceExtent& e) {
            const auto nodes = nodesOf(e);
            py::array_t<std::int32_t> out(
                static_cast<py::ssize_t>(nodes.size()));
            for (std::size_t i = 0; i < nodes.size(); ++i) {
              out.mutable_data()[i] = nodes[i]->getFrameIndex();
            }
            return out;
          },
          "The frame index of every node, a new int32 array.")
      .def_property_readonly(
          "text",
          [](const SurfaceExtent& e) {
            ObjectUse::checkIdle(&e, kWhat);
            std::ostringstream out;
            out << e;
            return out.str();
          },
          "The node text as the library writes it (and quaxscan extent -o): "
          "one line of eleven comma-terminated numbers per node.")
      .def_property_readonly(
          "reference_line",
          [](const SurfaceExtent& e) {
            ObjectUse::checkIdle(&e, kWhat);
            QUAX::_GeoLine<double> line;
            e.getRefLine(line);
            const auto& o = line.getOrigin();
            const auto& d = line.getDirection();
            return py::make_tuple(vector3(o.x(), o.y(), o.z()),
                                  vector3(d.x(), d.y(), d.z()));
          },
          "(origin, unit direction) of the reference line, two new arrays.")
      .def(
          "split_direction",
          [](SurfaceExtent& e) {
            ObjectUse::checkIdle(&e, kWhat);
            QUAX::_MathVector<double> v;
            e.getSplitDirection(v);
            return vector3(v.x(), v.y(), v.z());
          },
          "The split direction as a unit vector (a new array); raises "
          "EMathZeroVector when it is too short to normalise (no nodes).");

  m.def(
      "extent",
      [](SurfaceHandle& surface) {
        auto extent = std::make_unique<SurfaceExtent>();
        calculate(*extent, surface);
        return extent;
      },
      py::arg("surface"), "A new Extent computed for `surface`.");
}

}  // namespace quaxpy
