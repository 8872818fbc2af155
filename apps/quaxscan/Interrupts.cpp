// SPDX-License-Identifier: MIT
#include "apps/quaxscan/Interrupts.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#include <unistd.h>
#endif

namespace quaxscan {

namespace {

namespace fs = std::filesystem;

std::vector<std::string>& watched() {
  static std::vector<std::string> outputs;
  return outputs;
}

// Removes this process's temporary files of every watched output.
void removeTemporaries() {
#ifdef _WIN32
  const long long pid = _getpid();
#else
  const long long pid = getpid();
#endif
  for (const std::string& output : watched()) {
    const fs::path target(output);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::string prefix = "." + target.filename().string() + ".quax-" +
                               std::to_string(pid) + "-";
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.compare(0, prefix.size(), prefix) == 0 &&
          name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) {
        std::error_code ignored;
        fs::remove(it->path(), ignored);
      }
    }
  }
}

struct StopOnInterrupt {
  std::mutex mutex;
  std::function<void()> stop;
  bool called = false;
};

StopOnInterrupt& stopping() {
  static StopOnInterrupt s;
  return s;
}

// Calls the stop, if one is set and was not called yet; false otherwise.
bool callStop() {
  StopOnInterrupt& s = stopping();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.stop || s.called) return false;
  s.called = true;
  s.stop();
  return true;
}

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  if (event != CTRL_CLOSE_EVENT && callStop()) return TRUE;
  removeTemporaries();
  ExitProcess(event == CTRL_C_EVENT ? 130 : 143);
}
#endif

}  // namespace

void cleanUpOnInterrupt(const std::vector<std::string>& outputs) {
  watched() = outputs;
#ifdef _WIN32
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    int signal = 0;
    while (sigwait(&signals, &signal) != 0 || callStop()) {
    }
    // Twice: a file the working thread made while the first sweep ran goes
    // with the second.
    removeTemporaries();
    removeTemporaries();
    // Ends the program as the signal does by default.
    std::signal(signal, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    raise(signal);
  }).detach();
#endif
}

void stopOnInterrupt(std::function<void()> stop) {
  StopOnInterrupt& s = stopping();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.stop = std::move(stop);
}

}  // namespace quaxscan
