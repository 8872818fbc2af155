// SPDX-License-Identifier: MIT
// A host linked against QUAXScan. The scan library's load check runs before
// main: when it refuses the geometry library beside it, main never runs.
//   quax_load_probe            prints a line from main and returns 0
//   quax_load_probe --count    also reports how often a counting QUAXGeom
//                              was asked for its build (see
//                              CountingGeomVersion.cpp); on Windows after
//                              threads have started and ended, so that the
//                              library saw thread attach and detach.
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

using ChecksFn = int (*)();
using LastBuildFn = unsigned long long (*)();

#ifdef _WIN32
template <class Fn>
Fn lookUp(const char* name) {
  HMODULE geom = GetModuleHandleW(L"QUAXGeom.dll");
  return geom ? reinterpret_cast<Fn>(
                    reinterpret_cast<void*>(GetProcAddress(geom, name)))
              : nullptr;
}

DWORD WINAPI idleThread(LPVOID) { return 0; }

// Starts and ends a few threads; every wait is bounded.
bool runThreads() {
  constexpr int kThreads = 4;
  HANDLE threads[kThreads] = {};
  for (HANDLE& t : threads) {
    t = CreateThread(nullptr, 0, idleThread, nullptr, 0, nullptr);
    if (t == nullptr) return false;
  }
  const DWORD waited = WaitForMultipleObjects(kThreads, threads, TRUE, 5000);
  for (HANDLE t : threads) CloseHandle(t);
  return waited < WAIT_OBJECT_0 + kThreads;
}
#else
template <class Fn>
Fn lookUp(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

bool runThreads() { return true; }  // no thread notifications on ELF
#endif

int reportChecks() {
  const auto checks = lookUp<ChecksFn>("quaxCountingGeomChecks");
  const auto lastBuild = lookUp<LastBuildFn>("quaxCountingGeomLastBuild");
  if (checks == nullptr || lastBuild == nullptr) {
    std::printf("no counting geometry library loaded\n");
    return 2;
  }
  std::printf("checks after load: %d (build %llu)\n", checks(), lastBuild());
  if (!runThreads()) {
    std::printf("threads did not end within 5 s\n");
    return 2;
  }
  std::printf("checks after threads: %d\n", checks());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("probe main ran with scan build %llu\n", getScanDllBuildNumber());
  std::fflush(stdout);
  if (argc > 1 && std::strcmp(argv[1], "--count") == 0) return reportChecks();
  return 0;
}
