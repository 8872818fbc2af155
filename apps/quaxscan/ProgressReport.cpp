// SPDX-License-Identifier: MIT
#include "apps/quaxscan/ProgressReport.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <io.h>
#define QUAXSCAN_ISATTY(fd) _isatty(fd)
#define QUAXSCAN_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define QUAXSCAN_ISATTY(fd) isatty(fd)
#define QUAXSCAN_FILENO(f) fileno(f)
#endif

namespace quaxscan {

ProgressReport::ProgressReport(std::FILE* stream, std::string label)
    : _stream(stream),
      _label(std::move(label)),
      _terminal(QUAXSCAN_ISATTY(QUAXSCAN_FILENO(stream)) != 0) {}

void ProgressReport::onProgress(QUAX::Subject<int, unsigned>*, int percent,
                                unsigned) {
  percent = std::clamp(percent, 0, 100);
  if (percent == _last) return;
  if (_terminal) {
    const int width = 40;
    const int filled = percent * width / 100;
    std::fprintf(_stream, "\r%s[%s%s] %3d%%", _label.c_str(),
                 std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(width - filled), ' ').c_str(),
                 percent);
    if (percent == 100) std::fprintf(_stream, "\n");
  } else {
    if (_last >= 0 && percent / 10 == _last / 10 && percent != 100) return;
    std::fprintf(_stream, "%s%d%%\n", _label.c_str(), percent);
  }
  std::fflush(_stream);
  _last = percent;
}

}  // namespace quaxscan
