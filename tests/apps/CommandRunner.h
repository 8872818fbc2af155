// SPDX-License-Identifier: MIT
// Test helpers: a scratch folder per test and quaxscan run in it through the
// shell, with its exit status and what it wrote.
#ifndef QUAX_TESTS_APPS_COMMANDRUNNER_H_
#define QUAX_TESTS_APPS_COMMANDRUNNER_H_

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quaxscan {
namespace test {

struct Outcome {
  int status = -1;  // exit status; -1 when killed by a signal
  std::string out, err;
};

inline std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name =
        ::testing::UnitTest::GetInstance()->current_test_info()->name();
    _folder = std::filesystem::path(::testing::TempDir()) /
              ("quaxscan-" + name + "-" + std::to_string(::getpid()));
    _logs = _folder.string() + "-logs";
    for (const auto& f : {_folder, _logs}) {
      std::filesystem::remove_all(f);
      std::filesystem::create_directories(f);
    }
  }
  void TearDown() override {
    if (HasFailure()) return;  // left for a look
    std::filesystem::remove_all(_folder);
    std::filesystem::remove_all(_logs);
  }

  // Runs `command` with the shell in the test's folder.
  Outcome shell(const std::string& command) const {
    const std::string line = "cd '" + _folder.string() + "' && ( " + command +
                             " ) >'" + (_logs / "out").string() + "' 2>'" +
                             (_logs / "err").string() + "' </dev/null";
    const int raw = std::system(line.c_str());
    return Outcome{(raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1,
                   fileText(_logs / "out"), fileText(_logs / "err")};
  }
  Outcome quaxscan(const std::string& arguments) const {
    return shell(std::string("'") + QUAXSCAN_PROGRAM + "' " + arguments);
  }
  std::filesystem::path path(const std::string& name) const {
    return _folder / name;
  }
  std::string text(const std::string& name) const {
    return fileText(path(name));
  }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::size_t fileCount() const {
    return std::size_t(
        std::distance(std::filesystem::directory_iterator(_folder),
                      std::filesystem::directory_iterator()));
  }

  std::filesystem::path _folder, _logs;
};

}  // namespace test
}  // namespace quaxscan

#endif  // QUAX_TESTS_APPS_COMMANDRUNNER_H_
