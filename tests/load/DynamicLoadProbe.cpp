// SPDX-License-Identifier: MIT
// A Windows host that loads QUAXScan.dll at run time from its own folder and
// reports what happened; the test driver (RunLoadProbe.cmake) judges it.
//   load                     LoadLibraryW; reports whether the process's
//                            window station is visible
//   notifications            with a counting QUAXGeom
//   (CountingGeomVersion.cpp):
//                            how often the load check ran across thread
//                            attach and detach, unload and a second load
//   station <program> [arguments...]
//                            starts a program in a window station of its
//                            own, one that no user can see (only the
//                            interactive station WinSta0 is visible), as a
//                            service or a non-interactive logon would run
//                            it; standard output and error pass through,
//                            and the child's exit code is printed
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

// The command line after its first word, as the user wrote it.
const wchar_t* afterFirstWord(const wchar_t* line) {
  bool quoted = false;
  for (; *line != L'\0'; ++line) {
    if (*line == L'"') quoted = !quoted;
    if (!quoted && (*line == L' ' || *line == L'\t')) break;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

void inheritable(DWORD which) {
  HANDLE h = GetStdHandle(which);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) {
    SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
}

int runInHiddenStation() {
  // After our own program name and "station".
  std::wstring command = afterFirstWord(afterFirstWord(GetCommandLineW()));

  // The station and a desktop in it must exist before the child names them.
  // One station per call, so that tests running side by side stay apart.
  const std::wstring stationName =
      L"QuaxLoadTest" + std::to_wstring(GetCurrentProcessId());
  HWINSTA own = GetProcessWindowStation();
  HWINSTA station =
      CreateWindowStationW(stationName.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
  if (station == nullptr || !SetProcessWindowStation(station)) {
    std::printf("could not create window station (error %lu)\n",
                GetLastError());
    return 2;
  }
  HDESK desktop =
      CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(own);
  if (desktop == nullptr) {
    std::printf("could not create desktop (error %lu)\n", GetLastError());
    return 2;
  }

  std::wstring desktopName = stationName + L"\\Default";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktopName.data();
  startup.dwFlags = STARTF_USESTDHANDLES;
  inheritable(STD_INPUT_HANDLE);
  inheritable(STD_OUTPUT_HANDLE);
  inheritable(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::fflush(stdout);

  PROCESS_INFORMATION child{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &child)) {
    std::printf("could not start the program (error %lu)\n", GetLastError());
    return 2;
  }
  if (WaitForSingleObject(child.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(child.hProcess, 1);
    std::printf("the program did not end within 30 s\n");
    return 2;
  }
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  std::printf("child exit code: 0x%08lx\n", code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseDesktop(desktop);
  CloseWindowStation(station);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "load") == 0) return load();
  if (argc > 1 && std::strcmp(argv[1], "notifications") == 0) {
    return notifications();
  }
  if (argc > 2 && std::strcmp(argv[1], "station") == 0)
    return runInHiddenStation();
  std::printf(
      "usage: quax_load_probe_dynamic load | notifications | station "
      "<program> [arguments...]\n");
  return 2;
}
