// SPDX-License-Identifier: MIT
// Internal to the scan file formats (ScanSetIO*.cpp): the points read
// before a set is built, text lines and numbers, and the writers.
#ifndef QUAX_APPS_QUAXSCAN_SCANSETFORMATS_H_
#define QUAX_APPS_QUAXSCAN_SCANSETFORMATS_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "apps/quaxscan/ScanSetIO.h"

namespace quaxscan {
namespace detail {

[[noreturn]] void fail(const std::string& name, const std::string& what);

// ---- the items of a point
// -----------------------------------------------------

struct PointItems {
  bool hasGraysum = false;
  bool hasPixels = false;
  std::uint32_t graysum = 0;
  std::uint32_t lowPixel = 0;
  std::uint32_t highPixel = 0;
};

PointItems itemsOf(const QUAX::ScanPoint& point);

// ---- building a set from the points read ----------------------------------

struct PointRecord {
  double x, y, z;
  std::uint32_t surface, frame;
  std::uint32_t graysum, lowPixel, highPixel;
};

// Surfaces and frames cost far more than points, and a header or an index
// can ask for any number of them: a file gets at most one per point, or this
// many, whichever is more.
constexpr std::size_t kStructureFloor = 65536;

struct SetLayout {
  std::vector<std::size_t> framesPerSurface;  // declared; grows with indices
  bool graysum = false;
  bool pixels = false;
};

// A set of the points read, each line in one block; refuses indices and
// declared frames beyond what `points` may hold.
std::unique_ptr<QUAX::ScanSet> buildSet(const std::vector<PointRecord>& points,
                                        SetLayout layout,
                                        const std::string& name);

// ---- text lines -------------------------------------------------------------

// Cuts `bytes` into lines; a line ends at "\n" (a "\r" before it is
// dropped). `next` returns false at the end.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : _rest(bytes) {}

  bool next(std::string_view& line) {
    if (_rest.empty()) return false;
    const std::size_t end = _rest.find('\n');
    _terminated = end != std::string_view::npos;
    line = _rest.substr(0, end);
    _rest = end == std::string_view::npos ? std::string_view()
                                          : _rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++_number;
    return true;
  }
  std::size_t number() const noexcept { return _number; }
  std::string_view rest() const noexcept { return _rest; }
  // Whether the last line read ended with a line feed.
  bool terminated() const noexcept { return _terminated; }

 private:
  std::string_view _rest;
  bool _terminated = false;
  std::size_t _number = 0;
};

bool isSpace(char c);
// The next whitespace-separated word of `line`, or an empty view.
std::string_view nextWord(std::string_view& line);
std::vector<std::string_view> words(std::string_view line);
bool isBlank(std::string_view line);
// Shown in messages; cut so that a binary blob does not flood the terminal.
std::string shownText(std::string_view text);
bool parseDouble(std::string_view word, double& value);
bool parseCount(std::string_view word, std::uint64_t& value);

// Shortest text that reads back as the same number.
void appendNumber(std::string& out, double value);
void appendNumber(std::string& out, std::uint64_t value);
// Writes `buffer` out once it has grown large.
void flushIfLarge(std::string& buffer, std::ostream& out);

void writePly(const QUAX::ScanSet& set, bool binary, std::ostream& out);
void writeText(const QUAX::ScanSet& set, std::ostream& out);

}  // namespace detail
}  // namespace quaxscan

#endif  // QUAX_APPS_QUAXSCAN_SCANSETFORMATS_H_
