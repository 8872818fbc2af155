// SPDX-License-Identifier: MIT
// quax.SimulatedSource, quax.Camera, quax.cameras and quax.Acquisition: the
// library's acquisition thread run from Python, filling a scan set from a
// source while Python reads the profiles as they arrive.
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "Bindings.h"
#include "acquire/AcquireErrors.h"
#include "acquire/LiveFilters.h"
#include "acquire/ScanAcquisition.h"
#include "acquire/SimulatedScanner.h"
#include "acquire/genicam/CameraSettingsText.h"
#include "acquire/genicam/GenICamSource.h"
#include "scan/ScanErrors.h"
#include "scan/filters/FilterRegistry.h"

namespace quaxpy {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The longest a call waits without the GIL before it looks at Python's
// signals (Ctrl-C) again.
constexpr milliseconds kWaitStep{100};

milliseconds toMilliseconds(double seconds, const char* name) {
  if (!(seconds >= 0.0) || seconds > 1e9) {
    throw py::value_error(std::string(name) +
                          " must be a number of seconds from 0 to 1e9");
  }
  return milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000.0)));
}

void checkNonNegative(const char* name, double value) {
  if (!(value >= 0.0) || !std::isfinite(value)) {
    throw py::value_error(std::string(name) +
                          " must be a finite number of at least 0");
  }
}

QUAX::CameraMode cameraModeOf(const py::object& mode) {
  QUAX::CameraMode chosen = QUAX::CameraMode::kAuto;
  if (py::isinstance<py::str>(mode)) {
    if (QUAX::cameraModeFromName(mode.cast<std::string>(), chosen)) {
      return chosen;
    }
  } else if (PyIndex_Check(mode.ptr())) {
    const long long value = py::int_(mode).cast<long long>();
    if (value >= 0 && value <= 2) return static_cast<QUAX::CameraMode>(value);
  }
  throw py::value_error("unknown camera mode " +
                        std::string(py::repr(mode)) +
                        ": 'auto', 'image' or 'profile' (or quax.CameraMode)");
}

std::unique_ptr<QUAX::GenICamSource> makeCamera(
    const std::string& camera, const py::object& mode,
    const std::string& settings, const std::string& calibration) {
  QUAX::GenICamSettings s;
  std::istringstream text(settings);
  QUAX::readCameraSettings(text, "the camera settings", s);
  if (!camera.empty()) s.camera = camera;
  if (!mode.is_none()) s.mode = cameraModeOf(mode);
  if (!calibration.empty()) {
    py::gil_scoped_release release;
    s.calibration = QUAX::SensorCalibration::readFile(calibration);
  }
  return std::make_unique<QUAX::GenICamSource>(std::move(s));
}

// The simulated scanner with quax.simulate's names and ranges.
std::unique_ptr<QUAX::SimulatedScanner> makeSimulated(
    std::uint32_t seed, std::size_t points, double width, double spacing,
    double noise, double dropouts, bool graysum, bool pixels,
    double lineRate) {
  if (points < 2 || points > 1000000) {
    throw py::value_error("points must be from 2 to 1e6");
  }
  if (!(width > 0.0 && width <= 1e9) || !(spacing > 0.0 && spacing <= 1e9)) {
    throw py::value_error("width and spacing must be lengths in (0, 1e9]");
  }
  checkNonNegative("noise", noise);
  checkNonNegative("line_rate", lineRate);
  if (!(dropouts >= 0.0 && dropouts <= 1.0)) {
    throw py::value_error("dropouts must lie in [0, 1]");
  }
  QUAX::ScannerSettings s;
  s.seed = seed;
  s.pointsPerLine = points;
  s.lineWidth = width;
  s.frameSpacing = spacing;
  s.noise = noise;
  s.dropoutRate = dropouts;
  s.graysum = graysum;
  s.pixels = pixels;
  s.lineRate = lineRate;
  return std::make_unique<QUAX::SimulatedScanner>(s);
}

// One run of the acquisition thread, as quax.Acquisition holds it. The
// source's Python object is kept, so the source outlives the thread: the
// members are destroyed in reverse order, the thread first.
class Live {
  // Counts the calls waiting without the GIL; changed with the GIL held.
  struct Waiting {
    explicit Waiting(int& count) : _count(++count) {}
    ~Waiting() { --_count; }
    int& _count;
  };

 public:
  Live(py::object source, const QUAX::AcquisitionSettings& settings,
       std::vector<std::unique_ptr<QUAX::ScanLineFilter>> filters,
       unsigned filterThreads)
      : _sourceObject(std::move(source)),
        _source(_sourceObject.cast<QUAX::ScanSource*>()),
        _sourceUse(std::make_unique<ObjectUse>(_source, "source")),
        _filterChain(std::move(filters)) {
    py::gil_scoped_release release;
    _acquisition =
        std::make_unique<QUAX::ScanAcquisition>(*_source, settings);
    if (_filterChain.empty()) return;
    std::vector<const QUAX::ScanLineFilter*> chain;
    for (const auto& filter : _filterChain) chain.push_back(filter.get());
    _filters = std::make_unique<QUAX::LiveFilters>(*_acquisition, chain,
                                                   filterThreads);
  }

  void stop() {
    if (_acquisition) _acquisition->stop();
  }

  // Profiles filtered so far, and lines a filter refused (0 without
  // filters).
  std::uint64_t filtered() const {
    if (!_filters) return _filteredAtEnd;
    return std::min(_filters->filtered(), _acquisition->record().received);
  }
  std::uint64_t refused() const {
    return _filters ? _filters->refused() : _refusedAtEnd;
  }

  // Whether the run has ended, waiting at most `timeout` for it (None: as
  // long as it lasts), in steps that let Python's signals through.
  bool wait(const py::object& timeout) {
    if (!_acquisition) return true;
    const bool forever = timeout.is_none();
    const auto deadline =
        steady_clock::now() +
        (forever ? milliseconds(0) : toMilliseconds(timeout.cast<double>(), "timeout"));
    for (;;) {
      const auto left = std::chrono::duration_cast<milliseconds>(
          deadline - steady_clock::now());
      const milliseconds step =
          forever ? kWaitStep : std::clamp(left, milliseconds(0), kWaitStep);
      bool ended = false;
      {
        Waiting waiting(_waiting);
        py::gil_scoped_release release;
        ended = _acquisition->wait(step) && (!_filters || _filters->wait(step));
      }
      if (ended) return true;
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (!forever && steady_clock::now() >= deadline) return false;
    }
  }

  QUAX::AcquisitionRecord record() const {
    return _acquisition ? _acquisition->record() : _final;
  }
  bool finished() const {
    return !_acquisition ||
           (_acquisition->finished() && (!_filters || _filters->finished()));
  }

  // The next profile not yet handed out, as a new (n, 3) array; None once
  // the run has ended and every profile was handed out. Raises TimeoutError
  // when none arrives within `timeout` seconds.
  py::object nextProfile(double timeout) {
    if (!_acquisition) {
      throw std::runtime_error(
          "the acquisition's scan set was taken: its profiles are read from "
          "the set now");
    }
    const auto deadline =
        steady_clock::now() + toMilliseconds(timeout, "timeout");
    ObjectUse use(this, "acquisition");
    for (;;) {
      const auto left = std::chrono::duration_cast<milliseconds>(
          deadline - steady_clock::now());
      bool ended = false;
      const QUAX::ScanFrame* frame = nullptr;
      {
        py::gil_scoped_release release;
        frame = poll(std::clamp(left, milliseconds(0), kWaitStep), ended);
      }
      if (frame != nullptr) {
        return frame->hasScanLine() ? linePoints(*frame->getScanLine())
                                    : vectorArray({});
      }
      if (_filterFailed) throw std::runtime_error(_filters->failure());
      if (ended) return py::none();
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (steady_clock::now() >= deadline) {
        PyErr_SetString(PyExc_TimeoutError,
                        "no profile arrived within the timeout");
        throw py::error_already_set();
      }
    }
  }

  // The run's surfaces as a scan set; the run must have ended. Gives the
  // source back for another run.
  SetHandle takeSet() {
    ObjectUse::checkIdle(this, "acquisition");
    if (!_acquisition) throw std::runtime_error("the scan set was taken already");
    if (!_acquisition->finished() || _waiting > 0) {
      throw std::runtime_error(
          "the acquisition is still running or waited for: stop() it or "
          "wait() for its end first");
    }
    // Taken out with the GIL held, so that no other thread meets it half
    // destroyed; the run has ended, so its record is final.
    if (_filters && !_filters->finished()) {
      throw std::runtime_error(
          "the live filters are still at work: wait() for them first");
    }
    if (_filters) {
      _filteredAtEnd = filtered();
      _refusedAtEnd = _filters->refused();
    }
    std::unique_ptr<QUAX::ScanAcquisition> run = std::move(_acquisition);
    _final = run->record();
    std::unique_ptr<QUAX::ScanSet> set;
    {
      py::gil_scoped_release release;
      _filters.reset();
      set = run->takeSet();
      run.reset();
    }
    _sourceUse.reset();
    return wrapSet(std::move(set));
  }

 private:
  // Looks for the profile at the cursor for at most `step`; moves the
  // cursor past it. Runs without the GIL; `ended` once nothing more comes.
  const QUAX::ScanFrame* poll(milliseconds step, bool& ended) {
    QUAX::ScanSurface* surface = _acquisition->surface(_surface, step);
    if (surface == nullptr) {
      ended = _acquisition->finished() &&
              _surface >= _acquisition->surfaceCount();
      return nullptr;
    }
    try {
      const QUAX::ScanFrame* frame = surface->getFrame(_frame, step);
      if (_filters && !_filters->waitFiltered(_handed + 1, step)) {
        _filterFailed = _filters->finished() && !_filters->failure().empty();
        return nullptr;  // looked at again once its filtering is done
      }
      ++_frame;
      ++_handed;
      return frame;
    } catch (const QUAX::EScanSurfaceWaitTimeout&) {
      return nullptr;
    } catch (const QUAX::EScanSurfaceRangeException&) {
      ++_surface;  // complete, and every frame of it handed out
      _frame = 0;
      return nullptr;
    }
  }

  py::object _sourceObject;
  QUAX::ScanSource* _source;
  std::unique_ptr<ObjectUse> _sourceUse;
  std::unique_ptr<QUAX::ScanAcquisition> _acquisition;
  // The filters run live: copies of the caller's, so that changing those
  // meanwhile cannot touch the run. Destroyed before the acquisition.
  std::vector<std::unique_ptr<QUAX::ScanLineFilter>> _filterChain;
  std::unique_ptr<QUAX::LiveFilters> _filters;
  std::uint64_t _filteredAtEnd = 0, _refusedAtEnd = 0;
  bool _filterFailed = false;
  QUAX::AcquisitionRecord _final;
  int _waiting = 0;
  std::size_t _surface = 0, _frame = 0;  // the next profile to hand out
  std::uint64_t _handed = 0;             // profiles handed out so far
};

// Copies of the filters `filters` names (None, a quax.Filter, or an
// iterable of them such as a FilterChain), made from their settings.
std::vector<std::unique_ptr<QUAX::ScanLineFilter>> filterCopies(
    const py::object& filters) {
  static const QUAX::FilterRegistry registry;
  std::vector<std::unique_ptr<QUAX::ScanLineFilter>> copies;
  if (filters.is_none()) return copies;
  const py::object items = py::isinstance<QUAX::ScanLineFilter>(filters)
                               ? py::object(py::make_tuple(filters))
                               : filters;
  for (const py::handle item : items) {
    if (!py::isinstance<QUAX::ScanLineFilter>(item)) {
      throw py::type_error("filters takes quax filters, got " +
                           std::string(py::str(py::type::of(item).attr("__name__"))));
    }
    auto read = registry.read(
        QUAX::filterSettingsText(item.cast<const QUAX::ScanLineFilter&>()));
    for (auto& filter : read) copies.push_back(std::move(filter));
  }
  return copies;
}

std::unique_ptr<Live> startLive(py::object source, std::uint64_t profiles,
                                double seconds, std::size_t framesPerSurface,
                                const py::object& filters,
                                unsigned filterThreads) {
  checkNonNegative("seconds", seconds);
  QUAX::AcquisitionSettings settings;
  settings.profiles = profiles;
  settings.seconds = seconds;
  settings.framesPerSurface = framesPerSurface;
  return std::make_unique<Live>(std::move(source), settings,
                                filterCopies(filters), filterThreads);
}

// What Acquisition.profiles() returns: its profiles as they arrive.
struct ProfileIterator {
  py::object live;  // keeps the acquisition alive
  double timeout;
};

// What a camera's start() found, as Python warns of it (a socket buffer the
// kernel capped names the setting that raises it).
void warnOfStream(const py::object& source) {
  if (!py::isinstance<QUAX::GenICamSource>(source)) return;
  for (const std::string& warning :
       source.cast<const QUAX::GenICamSource&>().info().warnings) {
    if (PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 2) != 0) {
      throw py::error_already_set();
    }
  }
}

void bindRecord(py::module_& m) {
  using R = QUAX::AcquisitionRecord;
  py::class_<R>(m, "AcquisitionRecord", R"doc(
What one run delivered and what it lost, in profiles (scan lines) except the
packet counts of network cameras.)doc")
      .def_readonly("received", &R::received, "Profiles delivered as frames.")
      .def_readonly("incomplete", &R::incomplete,
                    "Profiles of buffers that arrived damaged (not delivered).")
      .def_readonly("lost", &R::lost,
                    "Profiles that never reached a frame (a consumer behind, "
                    "or gaps in the device's frame ids).")
      .def_readonly("timeouts", &R::timeouts)
      .def_readonly("resent_packets", &R::resentPackets)
      .def_readonly("missing_packets", &R::missingPackets)
      .def_readonly("seconds", &R::seconds,
                    "From the start of the run to its last profile.")
      .def_readonly("failure", &R::failure,
                    "Why the run ended early; empty when it did not.")
      .def_property_readonly("rate", &R::rate, "Profiles received per second.")
      .def("__repr__", [](const R& r) {
        std::ostringstream text;
        text << "<quax.AcquisitionRecord: " << r.received << " profiles, "
             << r.rate() << "/s, lost " << r.lost << ", incomplete "
             << r.incomplete
             << (r.failure.empty() ? "" : ", failed: " + r.failure) << ">";
        return text.str();
      });
}

void bindSources(py::module_& m) {
  py::class_<QUAX::ScanSource>(m, "Source", R"doc(
A source of profiles for quax.Acquisition: SimulatedSource or Camera. One
acquisition at a time uses a source.)doc");

  py::class_<QUAX::SimulatedScanner, QUAX::ScanSource>(m, "SimulatedSource",
                                                       R"doc(
The simulated laser line scanner as a source, with quax.simulate's options:
profile k is the one at y = k * spacing, without end, so that a run of n
profiles gives the first sweep of quax.simulate(frames=n, surfaces=1) with
the same options. line_rate: profiles per second, each at its due time as a
camera's (0: as fast as they are read). A new run starts again at y = 0,
with new noise.)doc")
      .def(py::init(&makeSimulated), py::kw_only(), py::arg("seed") = 1,
           py::arg("points") = 400, py::arg("width") = 80.0,
           py::arg("spacing") = 0.5, py::arg("noise") = 0.02,
           py::arg("dropouts") = 0.05, py::arg("graysum") = false,
           py::arg("pixels") = false, py::arg("line_rate") = 0.0);

  py::class_<QUAX::GenICamSource, QUAX::ScanSource>(m, "Camera", R"doc(
A GenICam camera (GigE Vision, USB3 Vision) through Aravis, by its id as
quax.cameras() lists it ("" takes the only camera found). mode: "auto",
"image", "profile" or a quax.CameraMode. settings: camera settings text
("name = value" lines, as quaxscan acquire --settings reads them).
calibration: the path of a calibration file. Bad settings raise
quax.EAcquireBadSettings or EAcquireBadCalibration here or when the
acquisition starts, before anything is acquired; a build without Aravis
raises quax.EAcquireNotAvailable.)doc")
      .def(py::init(&makeCamera), py::arg("camera") = "", py::kw_only(),
           py::arg("mode") = py::none(), py::arg("settings") = "",
           py::arg("calibration") = "")
      .def_property_readonly(
          "info",
          [](const QUAX::GenICamSource& c) {
            const QUAX::StreamInfo& i = c.info();
            py::dict d;
            d["camera_id"] = i.cameraId;
            d["pixel_format"] = i.pixelFormat;
            d["mode"] = py::module_::import("quax._enums")
                            .attr("CameraMode")(static_cast<int>(i.mode));
            d["width"] = i.width;
            d["height"] = i.height;
            d["profiles_per_buffer"] = i.profilesPerBuffer;
            d["packet_size"] = i.packetSize;
            d["interface_mtu"] = i.interfaceMtu;
            d["socket_buffer"] = i.socketBuffer;
            d["warnings"] = i.warnings;
            return d;
          },
          "What the last start found and set, as a dict (empty values "
          "before the first acquisition).");

  py::class_<QUAX::CameraInfo>(m, "CameraInfo", "A camera Aravis found.")
      .def_readonly("id", &QUAX::CameraInfo::id,
                    "What quax.Camera takes: vendor-model-serial.")
      .def_readonly("vendor", &QUAX::CameraInfo::vendor)
      .def_readonly("model", &QUAX::CameraInfo::model)
      .def_readonly("serial", &QUAX::CameraInfo::serial)
      .def_readonly("address", &QUAX::CameraInfo::address)
      .def_readonly("protocol", &QUAX::CameraInfo::protocol)
      .def("__repr__", [](const QUAX::CameraInfo& c) {
        return "<quax.CameraInfo " + c.id + " (" + c.protocol + " at " +
               c.address + ")>";
      });
  m.def("genicam_available", &QUAX::genicamAvailable,
        "Whether this build talks to cameras (Aravis was found).");
  m.def(
      "cameras",
      [] {
        py::gil_scoped_release release;
        return QUAX::cameras();
      },
      "The cameras Aravis finds now. Raises quax.EAcquireNotAvailable in a "
      "build without Aravis.");
}

}  // namespace

void bindAcquire(py::module_& m) {
  bindRecord(m);
  bindSources(m);
  py::class_<ProfileIterator>(m, "ProfileIterator",
                              "The profiles of an Acquisition as they arrive.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", [](ProfileIterator& it) {
        py::object profile = it.live.cast<Live&>().nextProfile(it.timeout);
        if (profile.is_none()) throw py::stop_iteration();
        return profile;
      });

  py::class_<Live>(m, "Acquisition", R"doc(
One run of the library's acquisition thread: starts `source` (settings it
refuses raise here, before anything runs) and fills surfaces from it until
`profiles` profiles or `seconds` have passed (0: no limit; stop() ends the
run), a new surface every `frames_per_surface` profiles (0: one surface).
`filters` (a Filter, a list of them or a FilterChain) run live, in order, on
each profile as it arrives, on `filter_threads` threads (0: one per core);
they are copied at the start, so changing them later does not touch the
run. Profiles are handed out, and the run counts as finished, only once
filtered. A context manager: leaving it stops the run.)doc")
      .def(py::init([](py::object source, std::uint64_t profiles,
                       double seconds, std::size_t framesPerSurface,
                       const py::object& filters, unsigned filterThreads) {
             auto live = startLive(source, profiles, seconds, framesPerSurface,
                                   filters, filterThreads);
             warnOfStream(source);
             return live;
           }),
           py::arg("source"), py::kw_only(), py::arg("profiles") = 0,
           py::arg("seconds") = 0.0, py::arg("frames_per_surface") = 0,
           py::arg("filters") = py::none(), py::arg("filter_threads") = 1)
      .def_property_readonly("filtered", &Live::filtered,
                             "Profiles filtered so far (0 without filters).")
      .def_property_readonly("refused", &Live::refused,
                             "Lines a live filter refused (left as it found them).")
      .def("stop", &Live::stop,
           "Asks the run to end after the profiles at hand; returns at once.")
      .def("wait", &Live::wait, py::arg("timeout") = py::none(), R"doc(
Waits at most `timeout` seconds (None: until it ends) for the run to end;
True when it has. Ctrl-C interrupts the wait.)doc")
      .def_property_readonly("record", &Live::record,
                             "The AcquisitionRecord so far (final after the run).")
      .def_property_readonly("finished", &Live::finished)
      .def("next_profile", &Live::nextProfile, py::arg("timeout") = 1.0, R"doc(
The next profile not yet handed out, as a new (n, 3) float64 array, or None
once the run has ended and every profile was handed out. Waits at most
`timeout` seconds, then raises TimeoutError; the GIL is released meanwhile.)doc")
      .def(
          "profiles",
          [](py::object self, double timeout) {
            toMilliseconds(timeout, "timeout");
            return ProfileIterator{std::move(self), timeout};
          },
          py::arg("timeout") = 1.0, R"doc(
An iterator of the profiles not yet handed out, as they arrive (see
next_profile): it ends once the run has ended and every profile was handed
out, and raises TimeoutError when none arrives within `timeout` seconds.
Call stop() (in the loop or from another thread) to end the run early.)doc")
      .def("take_set", &Live::takeSet, R"doc(
The run's surfaces as a new ScanSet, once the run has ended (RuntimeError
before); what was acquired up to a failure is kept. Gives the source back.)doc")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Live& live, const py::args&) {
        live.stop();
        live.wait(py::none());
      });
}

}  // namespace quaxpy
