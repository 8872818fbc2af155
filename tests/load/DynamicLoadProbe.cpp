// SPDX-License-Identifier: MIT
// A Windows host that loads QUAXScan.dll at run time from its own folder and
// reports what happened; the test driver (RunLoadProbe.cmake) judges it.
//   load                     LoadLibraryW; reports whether the process's
//                            window station is visible (run it through
//                            quax_load_launcher for one that is not)
//   notifications            with a counting QUAXGeom
//   (CountingGeomVersion.cpp):
//                            how often the load check ran across thread
//                            attach and detach, unload and a second load
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::wstring besideMe(const wchar_t* file) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file;
}

bool stationVisible() {
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  HWINSTA station = GetProcessWindowStation();
  return station != nullptr &&
         GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags,
                                   &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

int load() {
  std::printf("window station visible: %d\n", stationVisible() ? 1 : 0);
  std::fflush(stdout);
  HMODULE scan = LoadLibraryW(besideMe(L"QUAXScan.dll").c_str());
  if (scan == nullptr) {
    std::printf("LoadLibraryW refused QUAXScan.dll: error %lu\n",
                GetLastError());
  } else {
    std::printf("LoadLibraryW loaded QUAXScan.dll\n");
    FreeLibrary(scan);
  }
  return 0;
}

DWORD WINAPI waitForStart(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), 5000);
  return 0;
}

DWORD WINAPI idle(LPVOID) { return 0; }

int notifications() {
  // Holding the geometry library ourselves keeps its counter across the
  // scan library's unload.
  HMODULE geom = LoadLibraryW(besideMe(L"QUAXGeom.dll").c_str());
  if (geom == nullptr) return 2;
  const auto checks = reinterpret_cast<int (*)()>(
      reinterpret_cast<void*>(GetProcAddress(geom, "quaxCountingGeomChecks")));
  if (checks == nullptr) {
    std::printf("no counting geometry library\n");
    return 2;
  }

  // A thread that exists before the load: the library sees only its detach.
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE early = CreateThread(nullptr, 0, waitForStart, start, 0, nullptr);
  if (start == nullptr || early == nullptr) return 2;

  const std::wstring scanPath = besideMe(L"QUAXScan.dll");
  HMODULE scan = LoadLibraryW(scanPath.c_str());
  if (scan == nullptr) {
    std::printf("LoadLibraryW refused QUAXScan.dll: error %lu\n",
                GetLastError());
    return 2;
  }
  std::printf("checks after load: %d\n", checks());

  SetEvent(start);
  constexpr int kThreads = 4;
  HANDLE threads[kThreads + 1] = {early};
  for (int i = 1; i <= kThreads; ++i) {
    threads[i] = CreateThread(nullptr, 0, idle, nullptr, 0, nullptr);
    if (threads[i] == nullptr) return 2;
  }
  if (WaitForMultipleObjects(kThreads + 1, threads, TRUE, 5000) >=
      WAIT_OBJECT_0 + kThreads + 1) {
    std::printf("threads did not end within 5 s\n");
    return 2;
  }
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(start);
  std::printf("checks after threads: %d\n", checks());

  FreeLibrary(scan);
  std::printf("checks after unload: %d\n", checks());
  scan = LoadLibraryW(scanPath.c_str());
  std::printf("checks after second load: %d\n", checks());
  if (scan != nullptr) FreeLibrary(scan);
  FreeLibrary(geom);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "load") == 0) return load();
  if (argc > 1 && std::strcmp(argv[1], "notifications") == 0) {
    return notifications();
  }
  std::printf("usage: quax_load_probe_dynamic load | notifications\n");
  return 2;
}
