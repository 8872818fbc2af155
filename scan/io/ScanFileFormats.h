// SPDX-License-Identifier: MIT
// Internal to the scan file formats (scan/io/*.cpp): the points read
// before a set is built, text lines and numbers, and the writers. Not
// installed.
#ifndef QUAX_SCAN_IO_SCANFILEFORMATS_H_
#define QUAX_SCAN_IO_SCANFILEFORMATS_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "scan/io/ScanFile.h"
#include "scan/model/ScanPointItems.h"

namespace QUAX {
namespace scanfile {

[[noreturn]] void fail(const std::string& name, const std::string& what);

// Calls visit(surface, frame, point) for every point in scan order.
template <class Visit>
void forEachPoint(const ScanSet& set, Visit&& visit) {
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    const std::size_t frames = surface->getFrameCount();
    for (std::size_t f = 0; f < frames; ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (!frame->hasScanLine()) continue;
      const ScanLine* line = frame->getScanLine();
      for (std::size_t i = 0; i < line->getPointCount(); ++i) {
        visit(s, f, *line->getPoint(i));
      }
    }
  }
}

// Calls visit(line) for every scan line in scan order.
template <class Visit>
void forEachLine(const ScanSet& set, Visit&& visit) {
  for (std::size_t s = 0; s < set.getSurfaceCount(); ++s) {
    const ScanSurface* surface = set.getSurface(s);
    const std::size_t frames = surface->getFrameCount();
    for (std::size_t f = 0; f < frames; ++f) {
      const ScanFrame* frame = surface->getFrame(f);
      if (frame->hasScanLine()) visit(*frame->getScanLine());
    }
  }
}

// ---- the items of a point
// -----------------------------------------------------

struct PointItems {
  bool hasGraysum = false;
  bool hasPixels = false;
  std::uint32_t graysum = 0;
  std::uint32_t lowPixel = 0;
  std::uint32_t highPixel = 0;
};

// The item columns of a PLY file this library writes.
struct PlyColumns {
  bool graysum = false;
  bool pixels = false;
};

// The items in `list`, looking only for the `wanted` ones.
inline PointItems itemsOf(const ExtensionList& list,
                          PlyColumns wanted = PlyColumns{true, true}) {
  PointItems items;
  if (wanted.graysum) {
    if (const auto* g = static_cast<const ScanPointGraysumData*>(
            list.findItemIfPresent(ScanPointGraysumData::GraysumDataKey))) {
      items.hasGraysum = true;
      items.graysum = g->getGraysum();
    }
  }
  if (wanted.pixels) {
    if (const auto* tp = static_cast<const ScanPointTPData*>(
            list.findItemIfPresent(ScanPointTPData::TPDataKey))) {
      items.hasPixels = true;
      items.lowPixel = tp->getLowPixel();
      items.highPixel = tp->getHighPixel();
    }
  }
  return items;
}

// The items of `point`, looking only for the `wanted` ones.
inline PointItems itemsOf(const ScanPoint& point,
                          PlyColumns wanted = PlyColumns{true, true}) {
  const ExtensionList* list = point.extensionList();
  return list == nullptr ? PointItems{} : itemsOf(*list, wanted);
}

// Asks the processor to fetch the extension list of point `i` of `line`
// (when there is such a point and list): loops over a line's items run ahead
// of their pointer chains with it, point -> list -> item.
inline void prefetchItems(const ScanLine& line, std::size_t i) {
#if defined(__GNUC__) || defined(__clang__)
  if (i >= line.getPointCount()) return;
  if (const ExtensionList* list = line.getPoint(i)->extensionList()) {
    const char* at = reinterpret_cast<const char*>(list);
    __builtin_prefetch(at);
    __builtin_prefetch(at + 64);
  }
#else
  (void)line;
  (void)i;
#endif
}

// ---- building a set from the points read ----------------------------------

struct PointRecord {
  double x, y, z;
  std::uint32_t surface, frame;
  std::uint32_t graysum, lowPixel, highPixel;
};

// Where frame `frame` of surface `surface` comes in scan order: places
// compare as the frames come.
constexpr std::uint64_t scanPlace(std::uint64_t surface, std::uint64_t frame) {
  return (surface << 32) | frame;
}

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
std::unique_ptr<ScanSet> buildSet(const std::vector<PointRecord>& points,
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
// Calls take(i, word) for each of the first `wanted` words of `line` and
// returns how many words it has: words() without making a vector, for
// the rows of text files.
template <class Take>
std::size_t eachWord(std::string_view line, std::size_t wanted, Take&& take) {
  std::size_t n = 0;
  for (std::string_view w = nextWord(line); !w.empty(); w = nextWord(line)) {
    if (n < wanted) take(n, w);
    ++n;
  }
  return n;
}
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

constexpr std::size_t plyRowBytes(PlyColumns c) {
  return 32 + (c.graysum ? 4 : 0) + (c.pixels ? 8 : 0);
}
// Fills the empty `line` with the points of `records`, made in one block
// (carved from `pool` when given), with the items of `columns`.
void fillLine(ScanLine& line, const PointRecord* records, std::size_t n,
              PlyColumns columns, ScanPointPool* pool = nullptr);

// How PlyFrameSource::open() looks at a file.
enum class PlyOpen {
  kCheckRows,   // every row checked first, the structure found in them
  kHeaderOnly,  // the header only, the rows left to readSet()
  kOnePass,     // rows checked as readFrame() reads them (see open())
};

// The frames of a file in scan order, read from the file as they are asked
// for: memory stays in proportion to a frame, not to the file.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  const std::vector<std::size_t>& framesPerSurface() const noexcept {
    return _frames;
  }
  PlyColumns columns() const noexcept { return _columns; }
  std::uint64_t points() const noexcept { return _points; }
  // Fills the empty `line` with the points of the next frame in scan order.
  // Its points are carved from `pool` when one is given. Opened in one
  // pass: EScanFileError for a bad row (the whole-set reader's message), or
  // for a row out of scan order or outside the structure (isOutOfOrder()).
  virtual void readFrame(std::size_t surface, std::size_t frame,
                         ScanLine& line, ScanPointPool* pool = nullptr) = 0;
  // After the last frame: the checks of what follows, with the errors of
  // the whole-set reader.
  virtual void finish() = 0;
  // Whether the rows turned out not to fit a one-pass read: out of scan
  // order, or beyond the structure the header gives. The file may be good:
  // opened with kCheckRows it reads.
  bool isOutOfOrder() const noexcept { return _outOfOrder; }

 protected:
  std::string _name;
  std::vector<std::size_t> _frames;
  PlyColumns _columns;
  std::uint64_t _points = 0;
  bool _onePass = false, _outOfOrder = false;
};

// The structure a PLY header gives for a one-pass read: its declared frames,
// or frame 0 of surface 0 for points without surface and frame properties
// (`placed` false). False when the rows are needed, or when the structure is
// more than a file of `count` points may hold (a checked read reports it).
bool structureFromHeader(const std::vector<std::size_t>& declared,
                         bool placed, std::uint64_t count,
                         std::vector<std::size_t>& frames);

// The structure of points read in scan order, checked as buildSet checks
// it: surfaces and frames within what a file of `count` points may hold.
struct StructureCheck {
  StructureCheck(std::vector<std::size_t> declared, std::uint64_t count);
  // Counts `p` in (the first point beyond the limit stops the count). Runs
  // once per point: a point of the frame before costs a comparison.
  void add(const PointRecord& p) {
    const std::uint64_t place = scanPlace(p.surface, p.frame);
    if (place != last || !counted) addPlace(p, place);
  }
  // Whether the structure so far stays within the limit.
  bool fits() const { return structures <= limit; }
  // The errors of buildSet for what was added.
  void check(const std::string& name, std::uint64_t count) const;

  // add() for a point of another place than the last.
  void addPlace(const PointRecord& p, std::uint64_t place);

  std::vector<std::size_t> frames;
  std::size_t limit = 0, structures = 0;
  std::uint64_t last = 0;  // the place of the last point added
  bool counted = false;     // a point was added
  bool outOfOrder = false;  // a point came before the one before it
  bool badIndex = false;
  PointRecord firstBad{};
};

// The first line of a PLY file, up to the line "end_header": its bytes, or
// 0 when `in` holds no PLY header this reader streams.
std::size_t readPlyHead(std::ifstream& in, std::string& head);

// The frames of a binary little-endian PLY file in scan order, read from
// the file block by block. Opened with kCheckRows, open() checks the whole
// file first (every row, count and index, with the errors and messages of
// readPly), so that a bad file fails before the first frame; it returns
// null for a file it does not stream (ASCII, text, list properties outside
// the vertex element, points out of scan order), which is then read whole.
class PlyFrameSource : public FrameSource {
 public:
  // With kOnePass, a file whose structure the header gives (its "comment
  // surface k frames n" lines, or no surface and frame properties) is not
  // read ahead: readFrame() checks each row as it comes and finish() what
  // follows the last; other files are opened as with kCheckRows.
  static std::unique_ptr<PlyFrameSource> open(const std::filesystem::path& path,
                                              const std::string& name,
                                              PlyOpen how = PlyOpen::kCheckRows);
  ~PlyFrameSource() override;

  void readFrame(std::size_t surface, std::size_t frame, ScanLine& line,
                 ScanPointPool* pool = nullptr) override;
  void finish() override;
  // The whole set of a source opened without the check, each row read and
  // checked once, with the errors and messages of readPly; null when the
  // points turn out to be out of scan order (the file is then read whole).
  std::unique_ptr<ScanSet> readSet();

 private:
  struct Layout;
  struct Builder;
  PlyFrameSource() = default;
  bool fill(std::size_t bytes);
  // Back to the first vertex row.
  void rewind();
  // Reads and checks every vertex row from the start of the vertex data,
  // handing each frame's points to `builder` when there is one, and ends
  // with the checks of the whole file. False when out of scan order.
  bool scanRows(Builder* builder);
  // The checks of a file's end once its vertex rows are read.
  void checkAfterRows() const;
  // "vertex N (byte offset X): ", how the errors of vertex row `row` start.
  std::string rowAt(std::uint64_t row) const;
  [[noreturn]] void failRow(std::uint64_t row, int wrong, double bad) const;
  [[noreturn]] void failOutOfOrder(std::uint64_t row, const PointRecord& p);

  std::ifstream _in;
  std::unique_ptr<Layout> _layout;
  std::uint64_t _rowsLeft = 0;
  std::vector<unsigned char> _buffer;
  std::size_t _begin = 0, _end = 0;
  std::vector<PointRecord> _records;  // a frame's points on their way
};

// The frames of an ASCII PLY or x y z text file, read line by line (see
// PlyFrameSource for `how`; a text file is always checked first). Null for
// other files, and for files whose points are out of scan order.
std::unique_ptr<FrameSource> openTextFrameSource(
    const std::filesystem::path& path, const std::string& name, PlyOpen how);

std::unique_ptr<ScanSet> readPly(std::string_view bytes,
                                 const std::string& name);
std::unique_ptr<ScanSet> readText(std::string_view bytes,
                                  const std::string& name);
void writePly(const ScanSet& set, bool binary, std::ostream& out);
// The bytes writePly writes for `set` in binary when every point has the
// items of the first point that has any (the usual case).
std::uint64_t binaryPlyBytes(const ScanSet& set);

std::string plyHeader(bool binary,
                      const std::vector<std::size_t>& framesPerSurface,
                      std::size_t points, PlyColumns columns);
// Appends the rows of the points of `line`, frame `frame` of surface
// `surface`. Returns the columns missing from `columns` that some point of
// the line has items for.
PlyColumns appendPlyRows(std::string& out, bool binary, std::size_t surface,
                         std::size_t frame, const ScanLine& line,
                         PlyColumns columns);
// Writes the binary rows of points [first, last) of `line` at `out`, which
// has room for them (plyRowBytes(columns) each), and returns their end;
// the columns missing from `columns` that these points have items for are
// added to `missed`.
char* putPlyRows(char* out, std::size_t surface, std::size_t frame,
                 const ScanLine& line, std::size_t first, std::size_t last,
                 PlyColumns columns, PlyColumns& missed);

// Binary PLY rows on their way to a stream: formatted straight into a block
// of 256 KiB (no byte set twice, small enough to stay in the core's cache),
// written out when it is full and by flush().
class PlyRowBlock {
 public:
  static constexpr std::size_t kBytes = std::size_t(1) << 18;
  // Puts the rows of `line`, frame `frame` of surface `surface`, as
  // putPlyRows does.
  void put(std::ostream& out, std::size_t surface, std::size_t frame,
           const ScanLine& line, PlyColumns columns, PlyColumns& missed);
  void flush(std::ostream& out);

 private:
  std::unique_ptr<char[]> _bytes;
  std::size_t _used = 0;
};
void writeText(const ScanSet& set, std::ostream& out);
// Appends the text rows of `line`, a blank line after them.
void appendTextRows(std::string& out, const ScanLine& line);
extern const char kTextHeading[];

// Files written all or nothing: a temporary name beside `target` (checking
// that the target can be written), opening it, removing it, and moving it
// over the target in one step.
std::filesystem::path temporaryBeside(const std::filesystem::path& target);
void openTemporary(std::ofstream& out, const std::filesystem::path& temporary,
                   const std::filesystem::path& target);
void removeQuietly(const std::filesystem::path& path) noexcept;
// Gives the empty `file` room for `bytes` bytes (at most kMostPreallocated)
// where the system can, so that writing it takes its blocks at once; its
// size is then that room. Returns the bytes given, 0 when none.
constexpr std::uint64_t kMostPreallocated = std::uint64_t(64) << 20;
std::uint64_t preallocate(const std::filesystem::path& file,
                          std::uint64_t bytes) noexcept;
// Where what `out` holds ends, once flushed; EScanFileError naming `name`
// when the stream has failed.
std::uint64_t writtenEnd(std::ofstream& out, const std::string& name);
// Cuts `file`, given `allocated` bytes by preallocate(), back to the `end`
// written; EScanFileError naming `target` when it cannot.
void trimTo(const std::filesystem::path& file, std::uint64_t allocated,
            std::uint64_t end, const std::filesystem::path& target);
void moveInPlace(const std::filesystem::path& temporary,
                 const std::filesystem::path& target);

}  // namespace scanfile
}  // namespace QUAX

#endif  // QUAX_SCAN_IO_SCANFILEFORMATS_H_
