// SPDX-License-Identifier: MIT
// Starts a program in a window station of its own, one that no user can see
// (only the interactive station WinSta0 is visible), as a service or a
// non-interactive logon would run it. Standard output and error are passed
// through; the child's exit code is printed on standard output.
//   quax_load_launcher <program> [arguments...]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The command line after our own program name, as the user wrote it.
const wchar_t* argumentsAfterProgram(const wchar_t* line) {
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

}  // namespace

int main() {
  std::wstring command = argumentsAfterProgram(GetCommandLineW());
  if (command.empty()) {
    std::printf("usage: quax_load_launcher <program> [arguments...]\n");
    return 2;
  }

  // The station and a desktop in it must exist before the child names them.
  // One station per launcher, so that tests running side by side stay apart.
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
