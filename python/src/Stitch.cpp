// SPDX-License-Identifier: MIT
// quax._stitch, under quax.stitch: the stitch tool without the GIL, its
// progress reaching a Python callable.
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "Bindings.h"
#include "scan/stitch/ScanStitchTool.h"

namespace quaxpy {

namespace {

py::array_t<double> vectorArray1d(const std::vector<double>& values) {
  py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

// Thrown through stitchSurfaces to stop it when the progress callable
// raised; never leaves this file.
struct StitchStopped {};

// The stitch tool's observer. Progress arrives on the stitching thread,
// which runs without the GIL: the relay takes it to call Python. When the
// callable raises (or a signal handler does, e.g. KeyboardInterrupt), the
// Python exception is kept and the stitch is stopped.
class ProgressRelay {
 public:
  explicit ProgressRelay(py::object callback)
      : _callback(std::move(callback)) {}

  void onProgress(QUAX::Subject<int, unsigned>*, int percent, unsigned) {
    py::gil_scoped_acquire gil;
    try {
      if (!_callback.is_none()) _callback(percent);
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    } catch (py::error_already_set& e) {
      _error = std::move(e);
      throw StitchStopped{};
    }
  }

  // Raises the kept Python exception.
  [[noreturn]] void raise() { throw *_error; }

 private:
  py::object _callback;
  std::optional<py::error_already_set> _error;
};

// The position of the surface's first point, to see how far stitching moved
// it (surfaces are only translated); NaN for a surface without points.
void firstPoint(const QUAX::ScanSurface& surface, double* xyz) {
  for (std::size_t f = 0; f < surface.getFrameCount(); ++f) {
    const QUAX::ScanFrame* frame = surface.getFrame(f);
    if (frame->hasScanLine() && frame->getScanLine()->getPointCount() > 0) {
      const auto& p = frame->getScanLine()->getPoint(0)->position();
      xyz[0] = p.x();
      xyz[1] = p.y();
      xyz[2] = p.z();
      return;
    }
  }
  xyz[0] = xyz[1] = xyz[2] = std::nan("");
}

// What the rigid method did with each surface, as dicts (empty for the
// other methods): the transform as a 4x4 matrix, the RMS of the paired
// distances before and after, per iteration, and the status by name.
py::list rigidReport(const QUAX::ScanStitchTool& tool) {
  static const char* const kStatus[] = {"reference", "registered",
                                        "too_few_pairs", "not_improved"};
  py::list out;
  for (const auto& r : tool.getRigidReport()) {
    py::array_t<double> matrix({4, 4});
    auto m = matrix.mutable_unchecked<2>();
    for (int row = 0; row < 3; ++row) {
      for (int column = 0; column < 3; ++column) {
        m(row, column) = r.transform.rotation(row, column);
      }
      m(row, 3) = r.transform.getTranslation()[row];
      m(3, row) = 0.0;
    }
    m(3, 3) = 1.0;
    py::dict d;
    d["transform"] = matrix;
    d["rms_before"] = r.rmsBefore;
    d["rms_after"] = r.rmsAfter;
    d["pairs_before"] = r.pairsBefore;
    d["pairs_after"] = r.pairsAfter;
    d["rms_per_iteration"] = vectorArray1d(r.rmsPerIteration);
    d["iterations"] = r.iterations;
    d["converged"] = r.converged;
    d["status"] = r.status >= 0 && r.status < 4 ? kStatus[r.status] : "unknown";
    out.append(d);
  }
  return out;
}

py::tuple stitch(const py::sequence& surfaces, double tolerance, int iterations,
                 std::int32_t method, py::object progress,
                 const py::object& initial) {
  if (!std::isfinite(tolerance) || tolerance <= 0) {
    throw py::value_error("tolerance must be a positive, finite length");
  }
  if (!progress.is_none() && !PyCallable_Check(progress.ptr())) {
    throw py::type_error("progress must be callable or None");
  }
  std::vector<QUAX::ScanSurface*> targets;
  std::vector<Store*> stores;
  for (py::handle item : surfaces) {
    auto& surface = surfaceArgument(item, "stitch takes");
    targets.push_back(surface.surface);
    stores.push_back(surface.store.get());
  }

  // Starting transforms: None, or a (k, 4, 4) array, one per surface.
  std::vector<QUAX::_MathMatrix<double>> starts(targets.size());
  if (!initial.is_none()) {
    const auto array =
        py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(
            initial);
    if (!array || array.ndim() != 3 ||
        array.shape(0) != static_cast<py::ssize_t>(targets.size()) ||
        array.shape(1) != 4 || array.shape(2) != 4) {
      throw py::value_error("initial must hold one 4x4 transform per surface");
    }
    const auto m = array.unchecked<3>();
    for (py::ssize_t s = 0; s < array.shape(0); ++s) {
      starts[static_cast<std::size_t>(s)] = QUAX::_MathMatrix<double>(
          m(s, 0, 0), m(s, 0, 1), m(s, 0, 2), m(s, 1, 0), m(s, 1, 1),
          m(s, 1, 2), m(s, 2, 0), m(s, 2, 1), m(s, 2, 2), m(s, 0, 3),
          m(s, 1, 3), m(s, 2, 3));
    }
  }

  ProgressRelay relay(std::move(progress));
  QUAX::ScanStitchTool tool(tolerance);
  tool.attach(QUAX::ScanStitchTool::Callback(relay, &ProgressRelay::onProgress),
              0xFFFFFFFFu);
  std::vector<double> before(3 * targets.size());
  std::vector<double> after(3 * targets.size());
  UseMark mark(stores, true);
  try {
    py::gil_scoped_release release;
    for (std::size_t s = 0; s < targets.size(); ++s) {
      firstPoint(*targets[s], &before[3 * s]);
      tool.addSurfacePointer(targets[s], true, starts[s]);
    }
    tool.stitchSurfaces(
        iterations, static_cast<QUAX::ScanStitchTool::StitchMethod>(method));
    for (std::size_t s = 0; s < targets.size(); ++s) {
      firstPoint(*targets[s], &after[3 * s]);
    }
  } catch (const StitchStopped&) {
    relay.raise();
  }
  for (std::size_t i = 0; i < after.size(); ++i) after[i] -= before[i];
  return py::make_tuple(vectorArray(after), rigidReport(tool));
}

}  // namespace

void bindStitch(py::module_& m) {
  m.def("_stitch", &stitch, py::arg("surfaces"), py::arg("tolerance"),
        py::arg("iterations"), py::arg("method"), py::arg("progress"),
        py::arg("initial") = py::none(),
        R"doc(
The stitch tool on `surfaces` (quax.stitch is the documented entry point):
stitches them in place with the library's method number, the rigid method
starting each surface at its 4x4 transform in `initial` (None, or a (k, 4, 4)
array, one per surface), and returns how far
each surface's first point moved, a new (k, 3) array (NaN rows for surfaces
without points), and the rigid method's report per surface (a list of dicts,
empty for the other methods). The GIL is released while stitching and taken again for each
progress call.)doc");
}

}  // namespace quaxpy
