// SPDX-License-Identifier: MIT
// quax.ScanSet, quax.Surface and quax.Frame: Python objects that point into
// scan data held by a Store (Bindings.h).
#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

#include "Bindings.h"

namespace quaxpy {

Store& Store::root() noexcept {
  Store* store = this;
  while (store->movedTo) store = store->movedTo.get();
  return *store;
}

void Store::checkReadable() {
  if (root().writers > 0) {
    throw std::runtime_error(
        "the scan data are being changed by a call in another thread "
        "(a filter or stitch); use them when that call has returned");
  }
}

void Store::checkWritable() {
  checkReadable();
  if (root().readers > 0) {
    throw std::runtime_error(
        "the scan data are being used by a call in another thread; change "
        "them when that call has returned");
  }
}

SetHandle wrapSet(std::unique_ptr<QUAX::ScanSet> set) {
  SetHandle handle;
  handle.store = std::make_shared<Store>();
  handle.store->set = std::move(set);
  handle.set = handle.store->set.get();
  return handle;
}

SurfaceHandle& surfaceArgument(py::handle item, const char* caller) {
  if (!py::isinstance<SurfaceHandle>(item)) {
    throw py::type_error(
        std::string(caller) + " quax.Surface objects, got " +
        std::string(py::str(item.get_type().attr("__name__"))));
  }
  return item.cast<SurfaceHandle&>();
}

UseMark::UseMark(const std::vector<Store*>& stores, bool write)
    : _write(write) {
  for (Store* store : stores) {
    Store* root = &store->root();
    if (std::find(_roots.begin(), _roots.end(), root) != _roots.end()) continue;
    if (write) {
      root->checkWritable();
    } else {
      root->checkReadable();
    }
    _roots.push_back(root);
  }
  for (Store* root : _roots) ++(write ? root->writers : root->readers);
}

UseMark::~UseMark() {
  for (Store* root : _roots) --(_write ? root->writers : root->readers);
}

namespace {

std::unordered_set<const void*>& objectsInUse() {
  static auto* objects = new std::unordered_set<const void*>();
  return *objects;
}

}  // namespace

ObjectUse::ObjectUse(const void* object, const char* what) : _object(object) {
  if (!objectsInUse().insert(object).second) {
    throw std::runtime_error(std::string("this ") + what +
                             " is in use by a call in another thread; give "
                             "each thread one of its own");
  }
}

ObjectUse::~ObjectUse() { objectsInUse().erase(_object); }

void ObjectUse::checkIdle(const void* object, const char* what) {
  if (objectsInUse().count(object)) {
    throw std::runtime_error(std::string("this ") + what +
                             " is in use by a call in another thread");
  }
}

namespace {

struct FrameSequence {
  SurfaceHandle surface;
};

std::size_t frameIndex(std::size_t count, py::ssize_t index) {
  const py::ssize_t n = static_cast<py::ssize_t>(count);
  if (index < 0) index += n;
  if (index < 0 || index >= n)
    throw py::index_error("frame index out of range");
  return static_cast<std::size_t>(index);
}

FrameHandle frameAt(const SurfaceHandle& s, std::size_t index) {
  return FrameHandle{s.store, s.surface->getFrame(index), index};
}

// A complete surface whose frames hold the given arrays' points (None: a
// frame without a scan line).
std::unique_ptr<QUAX::ScanSurface> surfaceFrom(const py::sequence& arrays) {
  auto surface = std::make_unique<QUAX::ScanSurface>();
  for (std::size_t i = 0; i < arrays.size(); ++i) {
    py::object item = arrays[i];
    std::unique_ptr<QUAX::ScanFrame> frame;
    if (item.is_none()) {
      frame = std::make_unique<QUAX::ScanFrame>();
    } else {
      frame = std::make_unique<QUAX::ScanFrame>(
          makeLine(pointsArgument(item, "frame " + std::to_string(i))));
    }
    frame->getSyncObject()->setDataState(1);
    surface->appendFrame(std::move(frame));
  }
  surface->setComplete();
  return surface;
}

void checkLoose(SurfaceHandle& surface) {
  if (surface.store->loose.get() != surface.surface) {
    throw py::value_error(
        "the surface already belongs to a scan set; add surface.copy() "
        "instead");
  }
  surface.store->checkWritable();
}

void addToSet(SetHandle& set, SurfaceHandle& surface) {
  checkLoose(surface);
  set.store->checkWritable();
  Store& from = *surface.store;
  set.set->addSurface(std::move(from.loose));
  from.movedTo = set.store;
}

std::size_t setPointCount(const QUAX::ScanSet& set) {
  std::size_t n = 0;
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const QUAX::ScanSurface& surface = *set.getSurface(s);
    for (std::size_t f = 0; f < surface.getFrameCount(); ++f) {
      const QUAX::ScanFrame* frame = surface.getFrame(f);
      if (frame->hasScanLine()) n += frame->getScanLine()->getPointCount();
    }
  }
  return n;
}

// A set of `surfaces`, every one checked before the first is taken over.
SetHandle makeSet(const py::sequence& surfaces) {
  std::vector<SurfaceHandle*> taken;
  for (py::handle item : surfaces) {
    auto* surface = &surfaceArgument(item, "ScanSet takes");
    checkLoose(*surface);
    for (const SurfaceHandle* other : taken) {
      if (other->surface == surface->surface) {
        throw py::value_error("the same surface is given twice");
      }
    }
    taken.push_back(surface);
  }
  SetHandle set;
  set.store = std::make_shared<Store>();
  set.store->set = std::make_unique<QUAX::ScanSet>();
  set.set = set.store->set.get();
  for (SurfaceHandle* surface : taken) addToSet(set, *surface);
  return set;
}

// Every point of `set` in scan order, as a new (n, 3) array.
py::array_t<double> setPoints(const SetHandle& set) {
  set.store->checkReadable();
  std::vector<py::array_t<double>> parts;
  std::size_t n = 0;
  for (std::size_t s = 0; s < set.set->getSurfaceCount(); ++s) {
    parts.push_back(surfacePoints(*set.set->getSurface(s)));
    n += static_cast<std::size_t>(parts.back().shape(0));
  }
  py::array_t<double> out({static_cast<py::ssize_t>(n), py::ssize_t(3)});
  double* xyz = out.mutable_data();
  for (const auto& part : parts) {
    std::copy_n(part.data(), part.size(), xyz);
    xyz += part.size();
  }
  return out;
}

// A loose surface with one frame per item of `arrays`.
SurfaceHandle surfaceFromArrays(const py::sequence& arrays) {
  SurfaceHandle surface;
  surface.store = std::make_shared<Store>();
  surface.store->loose = surfaceFrom(arrays);
  surface.surface = surface.store->loose.get();
  return surface;
}

// The point count of every frame of `s`.
py::array_t<std::int64_t> pointCounts(const SurfaceHandle& s) {
  s.store->checkReadable();
  const std::size_t frames = s.surface->getFrameCount();
  py::array_t<std::int64_t> counts(static_cast<py::ssize_t>(frames));
  auto* out = counts.mutable_data();
  for (std::size_t f = 0; f < frames; ++f) {
    const QUAX::ScanFrame* frame = s.surface->getFrame(f);
    out[f] =
        frame->hasScanLine()
            ? static_cast<std::int64_t>(frame->getScanLine()->getPointCount())
            : 0;
  }
  return counts;
}

// The frames' points of `s`, None for a frame without a scan line.
py::list surfaceArrays(const SurfaceHandle& s) {
  s.store->checkReadable();
  py::list out;
  for (std::size_t f = 0; f < s.surface->getFrameCount(); ++f) {
    const QUAX::ScanFrame* frame = s.surface->getFrame(f);
    if (frame->hasScanLine()) {
      out.append(linePoints(*frame->getScanLine()));
    } else {
      out.append(py::none());
    }
  }
  return out;
}

// A loose copy of `s`: its frames' scan lines, with their items.
SurfaceHandle copySurface(const SurfaceHandle& s) {
  s.store->checkReadable();
  auto copy = std::make_unique<QUAX::ScanSurface>();
  for (std::size_t f = 0; f < s.surface->getFrameCount(); ++f) {
    const QUAX::ScanFrame* frame = s.surface->getFrame(f);
    auto made =
        frame->hasScanLine()
            ? std::make_unique<QUAX::ScanFrame>(
                  std::make_unique<QUAX::ScanLine>(*frame->getScanLine()))
            : std::make_unique<QUAX::ScanFrame>();
    made->getSyncObject()->setDataState(1);
    copy->appendFrame(std::move(made));
  }
  copy->setComplete();
  SurfaceHandle out;
  out.store = std::make_shared<Store>();
  out.store->loose = std::move(copy);
  out.surface = out.store->loose.get();
  return out;
}

void bindScanSet(py::module_& m) {
  py::class_<SetHandle>(m, "ScanSet", R"doc(
A scan set: surfaces of frames of scan lines, as quax.read() and
quax.simulate() return them or as built from surfaces.

The set owns its surfaces. Surface and Frame objects taken from it keep it
alive. Arrays read from it (points) are copies.)doc")
      .def(py::init(&makeSet), py::arg("surfaces") = py::tuple(), R"doc(
A set of the given surfaces, which it takes over without copying: each must
be a surface made in Python (Surface.from_arrays, Surface.copy) that belongs
to no set yet, and afterwards refers to the set's surface. ValueError for a
surface that already belongs to a set.)doc")
      .def(
          "add_surface",
          [](SetHandle& set, SurfaceHandle& surface) {
            addToSet(set, surface);
          },
          py::arg("surface"), "Appends a surface, as the constructor does.")
      .def_property_readonly(
          "surfaces",
          [](const SetHandle& set) {
            set.store->checkReadable();
            py::list out;
            for (std::size_t s = 0; s < set.set->getSurfaceCount(); ++s) {
              out.append(SurfaceHandle{set.store, set.set->getSurface(s)});
            }
            return out;
          },
          "The surfaces, in order (a new list of objects that refer to them).")
      .def("__len__",
           [](const SetHandle& set) { return set.set->getSurfaceCount(); })
      .def_property_readonly(
          "points", &setPoints,
          "Every point of the set in scan order, as a new (n, 3) array (a "
          "copy).")
      .def_property_readonly("point_count",
                             [](const SetHandle& set) {
                               set.store->checkReadable();
                               return setPointCount(*set.set);
                             })
      .def("__repr__", [](const SetHandle& set) {
        set.store->checkReadable();
        return "<quax.ScanSet: " + std::to_string(set.set->getSurfaceCount()) +
               " surfaces, " + std::to_string(setPointCount(*set.set)) +
               " points>";
      });
}

void bindSurface(py::module_& m) {
  py::class_<SurfaceHandle>(m, "Surface", R"doc(
A scan surface: the frames of one sweep of the sensor.

A surface taken from a ScanSet refers to the set's surface and keeps the set
alive. One made with from_arrays() or copy() belongs to no set until it is
given to ScanSet(); then the set takes it over and this object refers to the
set's surface.)doc")
      .def_static("from_arrays", &surfaceFromArrays, py::arg("arrays"), R"doc(
A complete surface with one frame per item of `arrays`: an (n_i, 3) float64
array of that frame's points, in line order, or None for a frame without a
scan line. The points are copied into the library's storage. Arrays of
another dtype raise TypeError; other shapes, layouts that are not
C-contiguous, and coordinates that are not finite raise ValueError.)doc")
      .def_property_readonly(
          "frames", [](const SurfaceHandle& s) { return FrameSequence{s}; },
          "The frames, as a sequence (len, indexes, slices, iteration).")
      .def("__len__",
           [](const SurfaceHandle& s) {
             s.store->checkReadable();
             return s.surface->getFrameCount();
           })
      .def_property_readonly(
          "points",
          [](const SurfaceHandle& s) {
            s.store->checkReadable();
            return surfacePoints(*s.surface);
          },
          "Every point of the surface, frame by frame, as a new (n, 3) array "
          "(a copy).")
      .def_property_readonly(
          "point_counts", &pointCounts,
          "The number of points of every frame (0 without a scan line), a new "
          "int64 array: numpy.split(points, numpy.cumsum(point_counts)[:-1]) "
          "gives the frames' points.")
      .def("to_arrays", &surfaceArrays,
           "The frames' points as from_arrays() takes them: a list of new "
           "(n_i, 3) arrays (copies), None for a frame without a scan line.")
      .def("copy", &copySurface,
           "A new surface that belongs to no set, with copies of the frames' "
           "scan lines (points with their extension items); the frames' other "
           "data (gray images, time data) are not copied.")
      .def("__repr__", [](const SurfaceHandle& s) {
        s.store->checkReadable();
        return "<quax.Surface: " + std::to_string(s.surface->getFrameCount()) +
               " frames>";
      });
}

void bindFrameSequence(py::module_& m) {
  py::class_<FrameSequence>(m, "FrameSequence",
                            "The frames of a surface, by index.")
      .def("__len__",
           [](const FrameSequence& f) {
             f.surface.store->checkReadable();
             return f.surface.surface->getFrameCount();
           })
      .def("__getitem__",
           [](const FrameSequence& f, py::ssize_t index) {
             f.surface.store->checkReadable();
             return frameAt(
                 f.surface,
                 frameIndex(f.surface.surface->getFrameCount(), index));
           })
      .def("__getitem__",
           [](const FrameSequence& f, const py::slice& slice) {
             f.surface.store->checkReadable();
             std::size_t start = 0, stop = 0, step = 0, length = 0;
             if (!slice.compute(f.surface.surface->getFrameCount(), &start,
                                &stop, &step, &length)) {
               throw py::error_already_set();
             }
             py::list out;
             for (std::size_t i = 0; i < length; ++i, start += step) {
               out.append(frameAt(f.surface, start));
             }
             return out;
           })
      // The frames there are now (a surface being filled may grow later).
      .def("__iter__", [](const FrameSequence& f) {
        f.surface.store->checkReadable();
        py::list frames;
        for (std::size_t i = 0; i < f.surface.surface->getFrameCount(); ++i) {
          frames.append(frameAt(f.surface, i));
        }
        return py::iter(frames);
      });
}

void bindFrame(py::module_& m) {
  py::class_<FrameHandle>(m, "Frame", R"doc(
A scan frame: one camera image's scan line. It keeps its surface (and the
set holding it) alive.)doc")
      .def_property_readonly("index",
                             [](const FrameHandle& f) { return f.index; })
      .def_property_readonly("has_line",
                             [](const FrameHandle& f) {
                               f.store->checkReadable();
                               return f.frame->hasScanLine();
                             })
      .def_property_readonly(
          "point_count",
          [](const FrameHandle& f) {
            f.store->checkReadable();
            return f.frame->hasScanLine()
                       ? f.frame->getScanLine()->getPointCount()
                       : std::size_t(0);
          })
      .def_property(
          "points",
          [](const FrameHandle& f) {
            f.store->checkReadable();
            // EScanFrameNoScanLine for a frame without a line.
            return linePoints(*f.frame->getScanLine());
          },
          [](const FrameHandle& f, py::handle points) {
            f.store->checkWritable();
            py::array_t<double> checked = pointsArgument(points, "points");
            if (f.frame->hasScanLine()) {
              assignLine(*f.frame->getScanLine(), checked);
            } else {
              f.frame->setScanLine(makeLine(checked));
            }
          },
          R"doc(
The scan line's points in line order, as a new (n, 3) float64 array: a copy,
so changing it changes nothing in the scan. Raises EScanFrameNoScanLine for a
frame without a scan line.

Assigning an (m, 3) float64 array copies it into the line: the line is cut or
grown to m points and point i takes row i; the points kept keep their
extension items (gray sums, pixels). A frame without a scan line gets one.)doc")
      .def("__repr__", [](const FrameHandle& f) {
        f.store->checkReadable();
        return "<quax.Frame " + std::to_string(f.index) + ": " +
               (f.frame->hasScanLine()
                    ? std::to_string(f.frame->getScanLine()->getPointCount()) +
                          " points>"
                    : std::string("no scan line>"));
      });
}

}  // namespace

void bindModel(py::module_& m) {
  bindScanSet(m);
  bindSurface(m);
  bindFrameSequence(m);
  bindFrame(m);
}

}  // namespace quaxpy
