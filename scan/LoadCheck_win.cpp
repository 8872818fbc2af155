// SPDX-License-Identifier: MIT
// Load check on Windows: the DLL entry point refuses the load on a mismatch.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <iostream>

#include "scan/LoadCheck.h"
#include "util/WideText.h"

namespace QUAX {
namespace detail {

bool hasVisibleWindowStation() {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) return false;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags,
                                 &needed)) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void showWrongGeomVersionMessage() {
  if (hasVisibleWindowStation()) {
    MessageBoxW(nullptr, kWrongGeomVersionText, kWrongGeomVersionCaption,
                MB_OK | MB_ICONERROR);
  } else {
    std::cerr << toUtf8(kWrongGeomVersionText) << std::endl;
  }
}

}  // namespace detail
}  // namespace QUAX

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  const bool accepted = QUAX::detail::runGeomLoadCheck();
  QUAX::detail::recordLoadOutcome(accepted);
  return accepted ? TRUE : FALSE;
}
