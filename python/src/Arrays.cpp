// SPDX-License-Identifier: MIT
// Points between scan lines and NumPy arrays. A line keeps each point as an
// object with its extension items, so its coordinates are not one array in
// memory: arrays are always filled by copying, one pass in C++.
#include <cmath>
#include <cstring>
#include <string>

#include "Bindings.h"

namespace quaxpy {

namespace {

// NPY_ARRAY_ALIGNED; pybind11 names only the contiguity flags.
constexpr int kAligned = 0x0100;

py::array_t<double> newPoints(std::size_t n) {
  return py::array_t<double>({static_cast<py::ssize_t>(n), py::ssize_t(3)});
}

}  // namespace

py::array_t<double> pointsArgument(py::handle object, const std::string& what) {
  if (!py::isinstance<py::array>(object)) {
    throw py::type_error(
        what +
        ": expected a NumPy array of shape (n, 3) and dtype "
        "float64, got " +
        std::string(py::str(object.get_type().attr("__name__"))));
  }
  const auto array = py::reinterpret_borrow<py::array>(object);
  if (!array.dtype().equal(py::dtype::of<double>())) {
    throw py::type_error(
        what + ": expected dtype float64, got " +
        std::string(py::str(array.dtype())) +
        " (convert with numpy.asarray(points, dtype=numpy.float64))");
  }
  if (array.ndim() != 2 || array.shape(1) != 3) {
    throw py::value_error(what + ": expected shape (n, 3), got " +
                          std::string(py::str(array.attr("shape"))));
  }
  if (!(array.flags() & py::array::c_style) || !(array.flags() & kAligned)) {
    throw py::value_error(
        what +
        ": the array is not C-contiguous and aligned (copy it with "
        "numpy.ascontiguousarray)");
  }
  auto points = py::reinterpret_borrow<py::array_t<double>>(array);
  const double* xyz = points.data();
  const std::size_t count = static_cast<std::size_t>(points.shape(0)) * 3;
  for (std::size_t i = 0; i < count; ++i) {
    if (!std::isfinite(xyz[i])) {
      throw py::value_error(what + ": row " + std::to_string(i / 3) +
                            " holds a coordinate that is not finite");
    }
  }
  return points;
}

py::array_t<double> linePoints(const QUAX::ScanLine& line) {
  const std::size_t n = line.getPointCount();
  py::array_t<double> out = newPoints(n);
  double* xyz = out.mutable_data();
  for (std::size_t i = 0; i < n; ++i) {
    const QUAX::_GeoPoint<double>& p = line.getPoint(i)->position();
    xyz[3 * i] = p.x();
    xyz[3 * i + 1] = p.y();
    xyz[3 * i + 2] = p.z();
  }
  return out;
}

std::unique_ptr<QUAX::ScanLine> makeLine(const py::array_t<double>& points) {
  auto line = std::make_unique<QUAX::ScanLine>();
  line->getPoints().reserveBlock(static_cast<std::size_t>(points.shape(0)));
  assignLine(*line, points);
  return line;
}

void assignLine(QUAX::ScanLine& line, const py::array_t<double>& points) {
  const std::size_t n = static_cast<std::size_t>(points.shape(0));
  line.resize(n);
  const double* xyz = points.data();
  for (std::size_t i = 0; i < n; ++i) {
    line.getPoint(i)->setPosition(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
  }
}

py::array_t<double> surfacePoints(const QUAX::ScanSurface& surface) {
  const std::size_t frames = surface.getFrameCount();
  std::size_t n = 0;
  for (std::size_t f = 0; f < frames; ++f) {
    const QUAX::ScanFrame* frame = surface.getFrame(f);
    if (frame->hasScanLine()) n += frame->getScanLine()->getPointCount();
  }
  py::array_t<double> out = newPoints(n);
  double* xyz = out.mutable_data();
  for (std::size_t f = 0; f < frames; ++f) {
    const QUAX::ScanFrame* frame = surface.getFrame(f);
    if (!frame->hasScanLine()) continue;
    const QUAX::ScanLine& line = *frame->getScanLine();
    for (std::size_t i = 0; i < line.getPointCount(); ++i, xyz += 3) {
      const QUAX::_GeoPoint<double>& p = line.getPoint(i)->position();
      xyz[0] = p.x();
      xyz[1] = p.y();
      xyz[2] = p.z();
    }
  }
  return out;
}

py::array_t<double> vectorArray(const std::vector<double>& xyz) {
  py::array_t<double> out = newPoints(xyz.size() / 3);
  if (!xyz.empty()) {
    std::memcpy(out.mutable_data(), xyz.data(), xyz.size() * sizeof(double));
  }
  return out;
}

}  // namespace quaxpy
