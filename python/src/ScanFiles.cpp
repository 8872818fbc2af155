// SPDX-License-Identifier: MIT
// quax.read, quax.write and quax.simulate: the library's scan files and
// quaxscan's simulated scanner.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>

#include "Bindings.h"
#include "acquire/SimulatedScanner.h"
#include "scan/filters/ScanLineFilter.h"
#include "scan/io/ScanFile.h"
#include "scan/io/ScanFileFilter.h"
#include "scan/io/ScanFrameStream.h"
#include "scan/model/ScanSurface.h"

namespace quaxpy {

namespace {

void checkRange(const char* name, double value, double low, double high) {
  if (!(value >= low && value <= high)) {
    throw py::value_error(std::string(name) + " must lie in [" +
                          py::str(py::float_(low)).cast<std::string>() + ", " +
                          py::str(py::float_(high)).cast<std::string>() +
                          "], got " +
                          py::str(py::float_(value)).cast<std::string>());
  }
}

// What quax.frames returns: the frames of a file, one at a time.
struct FrameReader {
  std::shared_ptr<QUAX::ScanFrameReader> reader;
};

void bindFrameReader(py::module_& m) {
  py::class_<FrameReader>(m, "FrameReader", R"doc(
The frames of a scan file in scan order, as quax.frames(path) gives them: an
iterator of (surface index, Frame) pairs.)doc")
      .def("__iter__", [](FrameReader& r) -> FrameReader& { return r; })
      .def("__next__",
           [](FrameReader& r) {
             std::size_t surface = 0, index = 0;
             std::unique_ptr<QUAX::ScanFrame> frame;
             {
               py::gil_scoped_release release;
               frame = r.reader->next(surface, index);
             }
             if (!frame) throw py::stop_iteration();
             FrameHandle handle;
             handle.store = std::make_shared<Store>();
             handle.store->loose = std::make_unique<QUAX::ScanSurface>();
             handle.store->loose->appendFrame(std::move(frame));
             handle.frame = handle.store->loose->getFrame(0);
             handle.index = index;
             return py::make_tuple(surface, handle);
           })
      .def_property_readonly(
          "frames_per_surface",
          [](const FrameReader& r) { return r.reader->framesPerSurface(); })
      .def_property_readonly("point_count", [](const FrameReader& r) {
        return r.reader->pointCount();
      });

  m.def(
      "frames",
      [](const std::filesystem::path& path) {
        FrameReader r;
        py::gil_scoped_release release;
        r.reader = std::make_shared<QUAX::ScanFrameReader>(path);
        return r;
      },
      py::arg("path"), R"doc(
The frames of the scan file at `path`, one at a time, in scan order: an
iterator of (surface index, Frame) pairs covering every frame of the set
(frame.index is its index in its surface). Each Frame is that of quax.read,
but only the frames still referred to stay in memory: the file is read
block by block (binary PLY) or line by line (ASCII PLY, text), so a file of
any size is walked in the memory of a few frames. The file is checked
when frames() is called: a bad file raises quax.ScanFileError before any
frame.)doc");
}

void bindReadWrite(py::module_& m) {
  m.def(
      "read",
      [](const std::filesystem::path& path) {
        std::unique_ptr<QUAX::ScanSet> set;
        {
          py::gil_scoped_release release;
          set = QUAX::readScanSetFile(path);
        }
        return wrapSet(std::move(set));
      },
      py::arg("path"), R"doc(
Reads a scan file as quaxscan does: PLY (ASCII or binary little-endian) or
text (.txt, .xyz; one "x y z" per line, a blank line after each frame, two
after each surface). Returns a new ScanSet. A file that cannot be read raises
quax.ScanFileError, whose message names the file (and for text the line).
The GIL is released while reading.)doc");

  m.def(
      "write",
      [](SetHandle& set, const std::filesystem::path& path, bool ascii) {
        const QUAX::ScanFileFormat format =
            QUAX::scanFileFormatFor(path, ascii);
        UseMark mark({set.store.get()}, false);
        py::gil_scoped_release release;
        QUAX::writeScanSetFile(*set.set, format, path);
      },
      py::arg("scan"), py::arg("path"), py::arg("ascii") = false, R"doc(
Writes `scan` to `path` in the format its name asks for: .ply (binary, or
ASCII with ascii=True) or .txt/.xyz (text, which keeps neither frames
without points nor gray sums and pixels). The file is written all or
nothing: a failure leaves an existing file as it was. Raises
quax.ScanFileError for another name or a file that cannot be written. The
GIL is released while writing.)doc");
}

void bindFilterFile(py::module_& m) {
  m.def(
      "filter_file",
      [](const std::filesystem::path& input,
         const std::filesystem::path& output, const py::list& filters,
         unsigned threads, bool ascii) {
        if (threads < 1 || threads > 4096) {
          throw py::value_error("threads must be from 1 to 4096");
        }
        std::vector<const QUAX::ScanLineFilter*> chain;
        for (const py::handle& f : filters) {
          chain.push_back(f.cast<const QUAX::ScanLineFilter*>());
        }
        const QUAX::ScanFileFormat format =
            QUAX::scanFileFormatFor(output, ascii);
        QUAX::ScanFileFilterReport report;
        {
          py::gil_scoped_release release;
          report = QUAX::filterScanFile(input, output, format, chain, threads);
        }
        const std::uint64_t kept =
            chain.empty() ? report.pointsIn : report.after.back();
        return py::make_tuple(report.pointsIn, kept);
      },
      py::arg("input"), py::arg("output"), py::arg("filters"), py::kw_only(),
      py::arg("threads") = 1, py::arg("ascii") = false, R"doc(
Filters the scan file `input` into `output` frame by frame, as quaxscan
filter does: the output holds the bytes that read(), applying each of
`filters` (a list of Filter) in turn with threads=`threads` and write()
give, but only a batch of frames is in memory at a time and no ScanSet is
made. Returns (points read, points written). Errors as read() and write()
and Filter.apply() raise them; the output is written all or nothing. The GIL
is released meanwhile.)doc");
}

void bindSimulate(py::module_& m) {
  m.def(
      "simulate",
      [](std::uint32_t seed, std::size_t surfaces, std::size_t frames,
         std::size_t points, double width, double spacing, double noise,
         double dropouts, double overlap, std::array<double, 3> misregistration,
         bool graysum, bool pixels) {
        checkRange("surfaces", double(surfaces), 1, 64);
        checkRange("frames", double(frames), 1, 1e6);
        checkRange("points", double(points), 2, 1e6);
        checkRange("width", width, 1e-9, 1e9);
        checkRange("spacing", spacing, 1e-9, 1e9);
        checkRange("noise", noise, 0, 1e9);
        checkRange("dropouts", dropouts, 0, 1);
        checkRange("overlap", overlap, 0, 0.95);
        for (double offset : misregistration) {
          if (!std::isfinite(offset)) {
            throw py::value_error("misregistration must be finite");
          }
        }
        checkRange("surfaces * frames * points",
                   double(surfaces) * double(frames) * double(points), 0, 1e8);
        QUAX::SimulationSettings settings;
        settings.scanner.seed = seed;
        settings.scanner.pointsPerLine = points;
        settings.scanner.lineWidth = width;
        settings.scanner.frameSpacing = spacing;
        settings.scanner.noise = noise;
        settings.scanner.dropoutRate = dropouts;
        settings.scanner.graysum = graysum;
        settings.scanner.pixels = pixels;
        settings.surfaces = surfaces;
        settings.framesPerSurface = frames;
        settings.overlap = overlap;
        settings.misregistration = QUAX::_MathVector<double>(
            misregistration[0], misregistration[1], misregistration[2]);
        std::unique_ptr<QUAX::ScanSet> set;
        {
          py::gil_scoped_release release;
          set = QUAX::simulateScanSet(settings);
        }
        return wrapSet(std::move(set));
      },
      py::kw_only(), py::arg("seed") = 1, py::arg("surfaces") = 2,
      py::arg("frames") = 120, py::arg("points") = 400, py::arg("width") = 80.0,
      py::arg("spacing") = 0.5, py::arg("noise") = 0.02,
      py::arg("dropouts") = 0.05, py::arg("overlap") = 0.3,
      py::arg("misregistration") = std::array<double, 3>{0.15, -0.10, 0.40},
      py::arg("graysum") = false, py::arg("pixels") = false, R"doc(
The scan `quaxscan simulate` writes with the same options (the defaults are
the tool's): a simulated laser line scanner sweeping a turbine-blade-like
sheet in `surfaces` overlapping sweeps of `frames` profiles of `points`
points, sweep k registered off by k times `misregistration`. Returns a new
ScanSet. The GIL is released while simulating.)doc");
}

}  // namespace

void bindScanFiles(py::module_& m) {
  bindFrameReader(m);
  bindReadWrite(m);
  bindFilterFile(m);
  bindSimulate(m);
}

}  // namespace quaxpy
