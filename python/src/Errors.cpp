// SPDX-License-Identifier: MIT
// The library's exceptions as Python exceptions: one Python class per C++
// class, with the same name and the same bases, under quax.ScanError (the
// root EVXException). An instance carries the C++ exception's code, class
// chain and description.
#include <string>
#include <unordered_map>
#include <utility>

#include "Bindings.h"
#include "acquire/AcquireErrors.h"
#include "scan/io/ScanFile.h"
#include "geomath/GeoErrors.h"
#include "geomath/MathErrors.h"
#include "scan/ScanErrors.h"
#include "thread/ThreadErrors.h"
#include "util/WideText.h"

namespace quaxpy {

namespace {

struct ErrorClass {
  const char* name;
  const char* base;  // null: the root
  std::int32_t code;
};

// Every class of the family the library throws, root
// first, each after its base.
const ErrorClass kErrorClasses[] = {
    {"ScanError", nullptr, 0},
    // utility library
    {"EVXIOException", "ScanError", 0},
    {"EVXIOBadFooter", "EVXIOException", QUAX::kUtilIOBadFooter},
    {"EVXIOAttributeNotRead", "EVXIOException", QUAX::kUtilIOAttributeNotRead},
    {"EVXDLLException", "ScanError", 0},
    {"EVXDLLWrongVersion", "EVXDLLException", QUAX::kUtilDLLWrongVersion},
    {"EExtensionException", "ScanError", 0},
    {"EExtensionNotPresent", "EExtensionException",
     QUAX::kUtilExtensionNotPresent},
    {"EExtensionNoImplementation", "EExtensionException",
     QUAX::kUtilExtensionNoImplementation},
    // math and geometry
    {"EMathException", "ScanError", 0},
    {"EMathDivisionByZero", "EMathException", QUAX::kMathDivisionByZero},
    {"EMathZeroVector", "EMathException", QUAX::kMathZeroVector},
    {"EMathSingularMatrix", "EMathException", QUAX::kMathSingularMatrix},
    {"EMathNegativeTol", "EMathException", QUAX::kMathNegativeTol},
    {"EGeoException", "ScanError", 0},
    {"EGeoInvalidParameter", "EGeoException", QUAX::kGeoInvalidParameter},
    {"EGeoDegenerateVector", "EGeoInvalidParameter",
     QUAX::kGeoDegenerateVector},
    // scan family
    {"EScanException", "ScanError", 0},
    {"EScanSurfaceIncomplete", "EScanException", QUAX::kScanSurfaceIncomplete},
    {"EScanSurfaceComplete", "EScanException", QUAX::kScanSurfaceComplete},
    {"EScanSurfaceRangeException", "EScanException", QUAX::kScanSurfaceRange},
    {"EScanSurfaceWaitTimeout", "EScanException",
     QUAX::kScanSurfaceWaitTimeout},
    {"EScanNoPointExtension", "EScanException", QUAX::kScanNoPointExtension},
    {"EScanNoTPData", "EScanNoPointExtension", QUAX::kScanNoTPData},
    {"EScanNoGraysumData", "EScanNoPointExtension", QUAX::kScanNoGraysumData},
    {"EScanImageBoundsException", "EScanException", 0},
    {"EScanImageRowTooLarge", "EScanImageBoundsException",
     QUAX::kScanImageRowTooLarge},
    {"EScanImageColumnTooLarge", "EScanImageBoundsException",
     QUAX::kScanImageColumnTooLarge},
    {"EScanFrameDataException", "EScanException", 0},
    {"EScanFrameNoGrayImage", "EScanFrameDataException",
     QUAX::kScanFrameNoGrayImage},
    {"EScanFrameNoScanLine", "EScanFrameDataException",
     QUAX::kScanFrameNoScanLine},
    {"EScanFrameNoExtensionException", "EScanException", 0},
    {"EScanFrameNoTimeData", "EScanFrameNoExtensionException",
     QUAX::kScanFrameNoTimeData},
    {"EScanFrameExtensionException", "EScanException", 0},
    {"EScanFrameTimeDataExists", "EScanFrameExtensionException",
     QUAX::kScanFrameTimeDataExists},
    {"EScanNeighborhoodSizeOutOfRange", "EScanException",
     QUAX::kScanNeighborhoodSizeOutOfRange},
    {"EScanNeighborhoodSizeNotOddNumber", "EScanException",
     QUAX::kScanNeighborhoodSizeNotOddNumber},
    {"EScanNonPositiveProximityLimit", "EScanException",
     QUAX::kScanNonPositiveProximityLimit},
    {"EScanNonPositiveDeviationLimit", "EScanException",
     QUAX::kScanNonPositiveDeviationLimit},
    {"EScanNonPositiveMaxSpan", "EScanException",
     QUAX::kScanNonPositiveMaxSpan},
    {"EScanTransformHistoryEmpty", "EScanException",
     QUAX::kScanTransformHistoryEmpty},
    {"EScanNonPositiveNumberOfPoints", "EScanException",
     QUAX::kScanNonPositiveNumberOfPoints},
    {"EScanUnknownNPointFilterAlgorithm", "EScanException",
     QUAX::kScanUnknownNPointFilterAlgorithm},
    {"EScanNPointFilterPointsNotExact", "EScanException",
     QUAX::kScanNPointFilterPointsNotExact},
    {"EScanNPointFilterTooSmall", "EScanException",
     QUAX::kScanNPointFilterTooSmall},
    {"EScanNPointFilterTooLarge", "EScanException",
     QUAX::kScanNPointFilterTooLarge},
    {"EScanNPointFilterSolutionNotFound", "EScanException",
     QUAX::kScanNPointFilterSolutionNotFound},
    // scan I/O family
    {"EScanIOException", "EVXIOException", 0},
    {"EScanIOBadHeader", "EScanIOException", QUAX::kScanIOBadHeader},
    {"EScanIOBadFooter", "EScanIOException", QUAX::kScanIOBadFooter},
    {"EScanIOBadAttribute", "EScanIOException", QUAX::kScanIOBadAttribute},
    {"EScanPointBadRead", "EScanIOException", QUAX::kScanPointBadRead},
    {"EScanContainerBadRead", "EScanIOException", QUAX::kScanContainerBadRead},
    {"EScanLineBadRead", "EScanIOException", QUAX::kScanLineBadRead},
    {"EScanFrameBadRead", "EScanIOException", QUAX::kScanFrameBadRead},
    {"EScanSurfaceBadRead", "EScanIOException", QUAX::kScanSurfaceBadRead},
    {"EScanSetBadRead", "EScanIOException", QUAX::kScanSetBadRead},
    // thread family (internal to the library, met through its calls)
    {"EThreadException", "ScanError", 0},
    {"EThreadNoMutexAvailable", "EThreadException",
     QUAX::kThreadNoMutexAvailable},
    {"EThreadWaitFailOnMutex", "EThreadException",
     QUAX::kThreadWaitFailOnMutex},
    {"EThreadNoSemaphoreAvailable", "EThreadException",
     QUAX::kThreadNoSemaphoreAvailable},
    {"EThreadWaitOnNullSemaphore", "EThreadException",
     QUAX::kThreadWaitOnNullSemaphore},
    {"EThreadWaitFailOnSemaphore", "EThreadException",
     QUAX::kThreadWaitFailOnSemaphore},
    // acquisition
    {"EAcquireException", "ScanError", 0},
    {"EAcquireBadSettings", "EAcquireException", QUAX::kAcquireBadSettings},
    {"EAcquireBadCalibration", "EAcquireException",
     QUAX::kAcquireBadCalibration},
    {"EAcquireDevice", "EAcquireException", QUAX::kAcquireDevice},
    {"EAcquireNotAvailable", "EAcquireException", QUAX::kAcquireNotAvailable},
    // scan files (the C++ class is EScanFileError)
    {"ScanFileError", "EScanIOException", 0},
};

// The Python classes by C++ class name (without namespace). They live as
// long as the process: the module holds them, and they are never released,
// so that no reference is dropped after the interpreter has shut down.
std::unordered_map<std::string, PyObject*>& classes() {
  static auto* map = new std::unordered_map<std::string, PyObject*>();
  return *map;
}
PyObject* noSolutionClass = nullptr;

std::string bareName(const std::string& qualified) {
  const std::size_t colon = qualified.rfind("::");
  return colon == std::string::npos ? qualified : qualified.substr(colon + 2);
}

PyObject* classFor(const QUAX::EVXException& e) {
  const auto& chain = e.getClassChain();
  for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
    const auto found = classes().find(bareName(*level));
    if (found != classes().end()) return found->second;
  }
  return classes().at("ScanError");
}

}  // namespace

py::object scanErrorObject(const QUAX::EVXException& e) {
  py::handle cls(classFor(e));
  const auto* file = dynamic_cast<const QUAX::EScanFileError*>(&e);
  py::object error = cls(file ? file->message() : std::string(e.what()));
  error.attr("code") = e.getCode();
  py::tuple chain(e.getClassChain().size());
  for (std::size_t i = 0; i < e.getClassChain().size(); ++i) {
    chain[i] = py::str(e.getClassChain()[i]);
  }
  error.attr("class_chain") = chain;
  error.attr("description") = QUAX::toUtf8(e.getDescription());
  return error;
}

void raiseScanError(const QUAX::EVXException& e, const std::string& note) {
  py::object error = scanErrorObject(e);
  if (py::hasattr(error, "add_note")) error.attr("add_note")(note);
  PyErr_SetObject(error.get_type().ptr(), error.ptr());
  throw py::error_already_set();
}

void bindErrors(py::module_& m) {
  for (const ErrorClass& entry : kErrorClasses) {
    PyObject* base = entry.base ? classes().at(entry.base) : PyExc_Exception;
    const std::string qualified = std::string("quax.") + entry.name;
    py::dict attributes;
    // The class's own code (0 for a group without one); an instance raised
    // by the library carries the code of the exception it came from.
    attributes["code"] = entry.code;
    attributes["class_chain"] = py::tuple();
    attributes["description"] = "";
    PyObject* cls =
        PyErr_NewException(qualified.c_str(), base, attributes.ptr());
    if (!cls) throw py::error_already_set();
    classes()[entry.name] = cls;
    m.attr(entry.name) = py::handle(cls);
  }
  m.attr("EVXException") = m.attr("ScanError");
  classes()["EScanFileError"] = classes().at("ScanFileError");

  // Internal to the N-point search, outside the coded families.
  noSolutionClass =
      PyErr_NewException("quax.NoSolution", PyExc_Exception, nullptr);
  if (!noSolutionClass) throw py::error_already_set();
  m.attr("NoSolution") = py::handle(noSolutionClass);

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const QUAX::EVXException& e) {
      py::object error = scanErrorObject(e);
      PyErr_SetObject(error.get_type().ptr(), error.ptr());
    } catch (const QUAX::NoSolution& e) {
      PyErr_SetString(noSolutionClass, e.what());
    }
  });
}

}  // namespace quaxpy
