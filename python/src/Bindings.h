// SPDX-License-Identifier: MIT
// Shared by the bindings of the Python module quax: who owns the scan data
// that Python objects point into, how calls without the GIL keep other
// threads off it, and the NumPy arrays of points.
#ifndef QUAX_PYTHON_SRC_BINDINGS_H_
#define QUAX_PYTHON_SRC_BINDINGS_H_

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "scan/model/ScanSet.h"
#include "util/VXException.h"

namespace quaxpy {

namespace py = pybind11;

// Owns the scan data that Python objects point into: a scan set made or read
// in Python, or a surface made in Python that belongs to no set yet. When
// such a surface is added to a set, the set takes it and its store forwards
// to the set's (movedTo). Python objects hold a shared_ptr to the store of
// what they point into, so the data live as long as any of them does, and no
// operation offered to Python destroys a surface, frame or line while the
// store lives.
//
// Calls that work without the GIL (filters, stitching, extents, files) mark
// the stores they use, readers or writers; a Python call that would read
// data another thread is changing, or change data another thread uses,
// raises RuntimeError instead of racing. All fields are used with the GIL
// held.
struct Store {
  std::unique_ptr<QUAX::ScanSet> set;
  std::unique_ptr<QUAX::ScanSurface> loose;
  std::shared_ptr<Store> movedTo;
  int readers = 0;
  int writers = 0;

  Store& root() noexcept;
  // RuntimeError while another thread changes the data.
  void checkReadable();
  // RuntimeError while another thread uses the data.
  void checkWritable();
};

// What the Python classes ScanSet, Surface and Frame hold.
struct SetHandle {
  std::shared_ptr<Store> store;
  QUAX::ScanSet* set = nullptr;
};
struct SurfaceHandle {
  std::shared_ptr<Store> store;
  QUAX::ScanSurface* surface = nullptr;
};
struct FrameHandle {
  std::shared_ptr<Store> store;
  QUAX::ScanFrame* frame = nullptr;
  std::size_t index = 0;
};

// Marks the roots of `stores` as used by a call that then releases the GIL;
// made and destroyed with the GIL held, around the gil_scoped_release.
// Checks first: RuntimeError when a store is already in use in a way that
// conflicts with `write`.
class UseMark {
 public:
  UseMark(const std::vector<Store*>& stores, bool write);
  ~UseMark();
  UseMark(const UseMark&) = delete;
  UseMark& operator=(const UseMark&) = delete;

 private:
  std::vector<Store*> _roots;
  bool _write;
};

// Marks a library object that holds working state (an extent, a chordal
// deviation or N-point filter) as used by a call without the GIL, so that a
// second thread does not use it meanwhile: RuntimeError instead. Made and
// destroyed with the GIL held.
class ObjectUse {
 public:
  ObjectUse(const void* object, const char* what);
  ~ObjectUse();
  ObjectUse(const ObjectUse&) = delete;
  ObjectUse& operator=(const ObjectUse&) = delete;
  // RuntimeError while `object` is used by such a call.
  static void checkIdle(const void* object, const char* what);

 private:
  const void* _object;
};

// A handle on a new store holding `set`.
SetHandle wrapSet(std::unique_ptr<QUAX::ScanSet> set);
// `item` as a quax.Surface; TypeError naming `caller` ("ScanSet takes")
// and the type given for anything else.
SurfaceHandle& surfaceArgument(py::handle item, const char* caller);

// ---- arrays (Arrays.cpp)
// -----------------------------------------------------

// `object` as points: a NumPy array of dtype float64, shape (n, 3), C
// contiguous and aligned, every coordinate finite. Anything else raises
// TypeError (not an array, another dtype) or ValueError (shape, layout, a
// coordinate that is not finite), naming `what`.
py::array_t<double> pointsArgument(py::handle object, const std::string& what);
// A new (n, 3) array of the positions of `line`'s points.
py::array_t<double> linePoints(const QUAX::ScanLine& line);
// A new line holding the points of a checked array, in one block.
std::unique_ptr<QUAX::ScanLine> makeLine(const py::array_t<double>& points);
// Gives `line` the positions of a checked array: cut or grown to its length,
// point i at row i; the points kept keep their extension items.
void assignLine(QUAX::ScanLine& line, const py::array_t<double>& points);
// A new (n, 3) array of every point of `surface`, frame by frame.
py::array_t<double> surfacePoints(const QUAX::ScanSurface& surface);
// A new (n, 3) array from a list of positions.
py::array_t<double> vectorArray(const std::vector<double>& xyz);

// ---- errors (Errors.cpp)
// -----------------------------------------------------

// The Python exception for `e`: the class of the most derived level of its
// class chain that the module knows (ScanError at least), built with e's
// text, with `code`, `class_chain` and `description` set.
py::object scanErrorObject(const QUAX::EVXException& e);
// Raises scanErrorObject(e) with `note` added to it (PEP 678).
[[noreturn]] void raiseScanError(const QUAX::EVXException& e,
                                 const std::string& note);

void bindErrors(py::module_& m);
void bindModel(py::module_& m);
void bindScanFiles(py::module_& m);
void bindFilters(py::module_& m);
void bindExtent(py::module_& m);
void bindStitch(py::module_& m);
void bindView(py::module_& m);  // where the view is built
void bindAcquire(py::module_& m);

}  // namespace quaxpy

#endif  // QUAX_PYTHON_SRC_BINDINGS_H_
