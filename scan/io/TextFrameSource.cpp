// SPDX-License-Identifier: MIT
// ASCII PLY and x y z text files read frame by frame, line by line, with
// the row parsing of the whole-set readers (TextRows.h).
#include <algorithm>
#include <cstring>
#include <optional>
#include <system_error>

#include "scan/io/TextRows.h"

namespace QUAX {
namespace scanfile {

bool FileLines::next(std::string_view& line) {
  constexpr std::size_t kBlock = std::size_t(1) << 20;
  std::size_t searched = 0;  // bytes of the line known to hold no line feed
  for (;;) {
    const char* at = _buffer.data() + _begin;
    const std::size_t have = _end - _begin;
    const char* eol =
        have > searched ? static_cast<const char*>(std::memchr(
                              at + searched, '\n', have - searched))
                        : nullptr;
    if (eol != nullptr || _ended) {
      if (have == 0) return false;
      const std::size_t length = eol != nullptr ? std::size_t(eol - at) : have;
      const std::size_t taken = eol != nullptr ? length + 1 : length;
      line = std::string_view(at, length);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      _begin += taken;
      _left -= std::min<std::uint64_t>(_left, taken);
      ++_number;
      return true;
    }
    searched = have;
    if (_begin > 0) {
      std::memmove(_buffer.data(), at, have);
      _end = have;
      _begin = 0;
    }
    if (_buffer.size() < _end + kBlock) _buffer.resize(_end + kBlock);
    _in.read(_buffer.data() + _end, std::streamsize(_buffer.size() - _end));
    const std::size_t got = std::size_t(_in.gcount());
    _end += got;
    _ended = got == 0;
  }
}

namespace {

// The rows of an ASCII PLY or text file, from its first row.
class TextFrameSource : public FrameSource {
 public:
  TextFrameSource(const std::filesystem::path& path, const std::string& name,
                  std::uint64_t fileSize)
      : _path(path), _fileSize(fileSize) {
    _name = name;
  }
  bool start(PlyOpen how);
  void readFrame(std::size_t surface, std::size_t frame, ScanLine& line,
                 ScanPointPool* pool) override;
  void finish() override;

 private:
  // Reads the header of a PLY file; false for one this source does not read.
  bool readHeader();
  // Back to the first row.
  void rewind();
  // The next point; false once the file is read and checked to its end.
  bool nextRow(PointRecord& p) {
    if (_ply) return _ply->next(p);
    std::string_view line;
    while (_lines->next(line)) {
      if (_text->read(line, _lines->number(), p)) return true;
    }
    return false;
  }
  // Reads and checks every row: the structure, or false when out of scan
  // order.
  bool checkRows();
  [[noreturn]] void failOutOfOrder(const PointRecord& p);

  std::filesystem::path _path;
  std::uint64_t _fileSize;
  std::ifstream _in;
  std::optional<PlyHeader> _header;  // a PLY file's
  std::size_t _headerBytes = 0;
  std::optional<FileLines> _lines;
  std::optional<TextRows> _text;
  std::optional<AsciiPlyRows<FileLines>> _ply;
  std::vector<PointRecord> _records;  // a frame's points on their way
  PointRecord _pending{};             // read, of a later frame
  bool _hasPending = false;
};

bool TextFrameSource::readHeader() {
  std::string head;
  _headerBytes = readPlyHead(_in, head);
  if (_headerBytes == 0) return false;  // the whole-set reader says why
  LineReader lines(std::string_view(head).substr(0, _headerBytes));
  _header = parsePlyHeader(lines, _name);
  if (_header->format != PlyFormat::kAscii) return false;
  for (const PlyElement& element : _header->elements) {
    if (element.name != "vertex") continue;
    const VertexFields fields(element);
    _points = element.count;
    _columns.graysum = fields.index[kGraysum] >= 0;
    _columns.pixels =
        fields.index[kLowPixel] >= 0 || fields.index[kHighPixel] >= 0;
  }
  return true;
}

void TextFrameSource::rewind() {
  _in.clear();
  _in.seekg(std::streamoff(_headerBytes));
  _ply.reset();
  _text.reset();
  _lines.emplace(_in, _fileSize - _headerBytes);
  if (_header) {
    _ply.emplace(*_header, *_lines, _header->dataLine, _name);
  } else {
    _text.emplace(_name);
  }
  _hasPending = false;
}

bool TextFrameSource::start(PlyOpen how) {
  _in.open(_path, std::ios::binary);
  if (!_in) return false;
  char first[5] = {};
  _in.read(first, sizeof first);
  const std::string_view start(first, std::size_t(_in.gcount()));
  _in.clear();
  _in.seekg(0);
  if (start.substr(0, 4) == "ply\n" || start.substr(0, 5) == "ply\r\n") {
    if (!readHeader()) return false;
  } else if (start.substr(0, 3) == "ply") {
    return false;  // not PLY, not text: the whole-set reader says why
  }
  rewind();
  if (how == PlyOpen::kOnePass && _header) {
    const VertexFields fields(*std::find_if(
        _header->elements.begin(), _header->elements.end(),
        [](const PlyElement& e) { return e.name == "vertex"; }));
    const bool placed = fields.index[kSurface] >= 0 || fields.index[kFrame] >= 0;
    _onePass = structureFromHeader(_header->declaredFrames, placed, _points,
                                   _frames);
  }
  if (_onePass) return true;
  if (!checkRows()) return false;
  rewind();
  return true;
}

bool TextFrameSource::checkRows() {
  // A text file's count is known at its end: its surfaces and frames are
  // checked against it then.
  StructureCheck check(_header ? _header->declaredFrames
                               : std::vector<std::size_t>(),
                       _header ? _points : UINT64_MAX);
  std::uint64_t count = 0;
  PointRecord p;
  while (nextRow(p)) {
    check.add(p);
    if (check.outOfOrder) return false;
    ++count;
  }
  if (!_header) {
    if (count == 0) fail(_name, "no points");
    // Every surface and frame of text has points, so only their total can
    // pass the limit, known now.
    check.limit = std::max(std::size_t(count), kStructureFloor);
    _points = count;
  }
  check.check(_name, _points);
  _frames = std::move(check.frames);
  return true;
}

void TextFrameSource::failOutOfOrder(const PointRecord& p) {
  _outOfOrder = true;
  const std::size_t base = _header ? _header->dataLine : 0;
  throw EScanFileError(
      _name + ":" + std::to_string(base + _lines->number()) +
      ": a point of surface " + std::to_string(p.surface) + ", frame " +
      std::to_string(p.frame) +
      " out of scan order or beyond the frames the header declares (such a "
      "file is read whole, not frame by frame)");
}

void TextFrameSource::readFrame(std::size_t surface, std::size_t frame,
                                ScanLine& line, ScanPointPool* pool) {
  const std::uint64_t place = scanPlace(surface, frame);
  _records.clear();
  for (;;) {
    if (!_hasPending && !(_hasPending = nextRow(_pending))) break;
    const std::uint64_t at = scanPlace(_pending.surface, _pending.frame);
    if (at != place) {
      if (at < place) failOutOfOrder(_pending);
      break;
    }
    _records.push_back(_pending);
    _hasPending = false;
  }
  fillLine(line, _records.data(), _records.size(), _columns, pool);
}

void TextFrameSource::finish() {
  // Rows beyond the last frame the header gives.
  if (_hasPending || nextRow(_pending)) failOutOfOrder(_pending);
}

}  // namespace

std::unique_ptr<FrameSource> openTextFrameSource(
    const std::filesystem::path& path, const std::string& name, PlyOpen how) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return nullptr;  // the whole-set reader names the reason
  auto source = std::make_unique<TextFrameSource>(path, name, size);
  if (!source->start(how)) return nullptr;
  return source;
}

}  // namespace scanfile
}  // namespace QUAX
