// SPDX-License-Identifier: MIT
// A host linked against QUAXScan. The scan library's load check runs before
// main: when it refuses the geometry library beside it, main never runs.
//   quax_load_probe            prints a line from main and returns 0
//   quax_load_probe --count    also reports how often a counting QUAXGeom
//                              was asked for its build (see
//                              CountingGeomVersion.cpp)
#include <cstdio>
#include <cstring>

#include "scan/ScanVersion.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

template <class Fn>
Fn lookUp(const char* name) {
#ifdef _WIN32
  HMODULE geom = GetModuleHandleW(L"QUAXGeom.dll");
  return geom ? reinterpret_cast<Fn>(
                    reinterpret_cast<void*>(GetProcAddress(geom, name)))
              : nullptr;
#else
  return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
#endif
}

int reportChecks() {
  const auto checks = lookUp<int (*)()>("quaxCountingGeomChecks");
  const auto lastBuild =
      lookUp<unsigned long long (*)()>("quaxCountingGeomLastBuild");
  if (checks == nullptr || lastBuild == nullptr) {
    std::printf("no counting geometry library loaded\n");
    return 2;
  }
  std::printf("checks after load: %d (build %llu)\n", checks(), lastBuild());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("probe main ran with scan build %llu\n", getScanDllBuildNumber());
  std::fflush(stdout);
  if (argc > 1 && std::strcmp(argv[1], "--count") == 0) return reportChecks();
  return 0;
}
