// SPDX-License-Identifier: MIT
// The extension module quax._quax; the package quax (python/quax) around it
// is what users import.
#include "Bindings.h"
#include "scan/ScanVersion.h"
#include "scan/model/ScanPointItems.h"

PYBIND11_MODULE(_quax, m) {
  m.doc() = "The QUAX scan library's bindings; import quax instead.";
  // Once per process, before extension items are used.
  QUAX::scanInit();
  quaxpy::bindErrors(m);
  quaxpy::bindModel(m);
  quaxpy::bindScanFiles(m);
  quaxpy::bindFilters(m);
  quaxpy::bindExtent(m);
  quaxpy::bindStitch(m);
  quaxpy::bindAcquire(m);
#if QUAXPY_HAVE_VIEW
  quaxpy::bindView(m);
#endif
  m.attr("scan_build_number") = ::getScanDllBuildNumber();
  m.attr("__version__") = QUAXPY_VERSION;
}
