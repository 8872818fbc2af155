// SPDX-License-Identifier: MIT
// Load check on ELF platforms.
//
// The dynamic loader gives a library no way to refuse its own load from
// code, so the refusal is the loader's: QUAXGeom defines its symbols under
// the version node of its build (QUAXGEOM_BUILD_3, see
// quax_geom_version_node), this library's references to them ask for that
// node, and a QUAXGeom of another build fails the load before any code of
// this library runs (a program linked against it does not start; dlopen()
// returns null and dlerror() names the node and the library).
//
// The constructor below is the second line of defence, for a QUAXGeom that
// carries no version nodes at all, which the loader accepts. It never ends
// the process (the host may have loaded us as a plug-in): on a mismatch it
// writes the message to standard error and records the outcome, which
// QUAX::scanLibraryLoadAccepted() then reports as false.
#include <iostream>

#include "scan/LoadCheck.h"
#include "util/WideText.h"

namespace QUAX {
namespace detail {

bool hasVisibleWindowStation() {
  // No window stations here; the message always goes to standard error.
  return false;
}

void showWrongGeomVersionMessage() {
  // The load constructor can run before this library's own static set-up of
  // the standard streams; an Init object makes sure std::cerr exists.
  const std::ios_base::Init streams;
  std::cerr << toUtf8(kWrongGeomVersionText) << std::endl;
}

namespace {

__attribute__((constructor)) void onLibraryLoad() {
  recordLoadOutcome(runGeomLoadCheck());
}

}  // namespace
}  // namespace detail
}  // namespace QUAX
