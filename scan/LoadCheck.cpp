// SPDX-License-Identifier: MIT
#include "scan/LoadCheck.h"

#include <atomic>

#include "geomath/GeomVersion.h"
#include "scan/ScanVersion.h"
#include "util/VXException.h"

namespace QUAX {
namespace detail {

const wchar_t kWrongGeomVersionText[] =
    L"Wrong version of \"QUAXGeom.DLL\". Verify path setting and try again.";
const wchar_t kWrongGeomVersionCaption[] = L"QUAXScan.DLL";

namespace {
std::atomic<bool> gLoadAccepted{true};
}  // namespace

void recordLoadOutcome(bool accepted) { gLoadAccepted.store(accepted); }

bool runGeomLoadCheck() {
  try {
    checkGeomDllVersion(3);
    return true;
  } catch (const EVXDLLWrongVersion&) {
    showWrongGeomVersionMessage();
    return false;
  }
}

}  // namespace detail

bool scanLibraryLoadAccepted() { return detail::gLoadAccepted.load(); }

}  // namespace QUAX
