// SPDX-License-Identifier: MIT
// Load check on ELF platforms. The dynamic loader has no way for a library
// to refuse its own load, so the check runs as a constructor of the shared
// object, and a refused library ends the process with status 127 (the
// status the loader itself uses for a library it cannot load) right after
// the message. Nothing of the library can run beside a mismatched QUAXGeom.
#include <unistd.h>

#include <cstdlib>
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
  const bool accepted = runGeomLoadCheck();
  recordLoadOutcome(accepted);
  if (!accepted) _exit(127);
}

}  // namespace
}  // namespace detail
}  // namespace QUAX
