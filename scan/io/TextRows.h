// SPDX-License-Identifier: MIT
// Internal to the text readers (ASCII PLY and x y z text, whole or frame by
// frame): the lines of a file read block by block, and the parsing of their
// rows, shared by both ways of reading. Not installed.
#ifndef QUAX_SCAN_IO_TEXTROWS_H_
#define QUAX_SCAN_IO_TEXTROWS_H_

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "scan/io/PlyHeader.h"
#include "scan/io/PlyRows.h"
#include "scan/io/ScanFileFormats.h"

namespace QUAX {
namespace scanfile {

// The lines of an open file as LineReader cuts them, read in blocks: only
// the current line and a block are in memory.
class FileLines {
 public:
  // `in` positioned at the first line, `left` bytes from there to the end.
  FileLines(std::ifstream& in, std::uint64_t left) : _in(in), _left(left) {}
  bool next(std::string_view& line);
  std::size_t number() const noexcept { return _number; }
  // The bytes after the last line read.
  std::uint64_t restSize() const noexcept { return _left; }

 private:
  std::ifstream& _in;
  std::uint64_t _left;
  std::vector<char> _buffer;
  std::size_t _begin = 0, _end = 0;
  std::size_t _number = 0;
  bool _ended = false;  // the file is read to its end
};

// The points of an x y z text file, line by line: one "x y z" per line, a
// blank line ends a frame, a second one a surface, "#" starts a comment.
class TextRows {
 public:
  explicit TextRows(const std::string& name) : _name(name) {}
  // Reads line `number`: true with its point in `p` when it holds one.
  // EScanFileError for a line that is not a point.
  bool read(std::string_view line, std::size_t number, PointRecord& p);

 private:
  const std::string& _name;
  std::uint32_t _surface = 0, _frame = 0;
  std::size_t _blanks = 0;
  bool _surfaceHasPoints = false, _frameHasPoints = false;
};

// The vertices of an ASCII PLY file whose header is read, row by row from
// `Lines` (LineReader or FileLines), with the other elements' rows skipped
// and everything checked: counts that the text left cannot hold, rows that
// end early, values that are not numbers of their type, text after the
// last element.
template <class Lines>
class AsciiPlyRows {
 public:
  // `firstLine`: the number of the header's last line.
  AsciiPlyRows(const PlyHeader& header, Lines& lines, std::size_t firstLine,
               const std::string& name)
      : _header(header), _lines(lines), _base(firstLine), _name(name) {}
  // The next vertex; false once every row and what follows is read.
  bool next(PointRecord& p);

 private:
  void startElement();
  std::string where() const {
    return _name + ":" + std::to_string(_base + _lines.number());
  }
  [[noreturn]] void failValue(std::string_view word, std::size_t i) const;
  static std::uint64_t restOf(Lines& lines);

  const PlyHeader& _header;
  Lines& _lines;
  std::size_t _base;
  const std::string& _name;
  std::size_t _element = 0;  // the element being read
  std::uint64_t _row = 0;    // its next row
  bool _started = false;     // its count checked
  std::vector<double> _values;
  std::optional<VertexFields> _fields;
};

template <class Lines>
bool AsciiPlyRows<Lines>::next(PointRecord& p) {
  const std::vector<PlyElement>& elements = _header.elements;
  for (; _element < elements.size(); ++_element, _row = 0, _started = false) {
    const PlyElement& element = elements[_element];
    if (element.properties.empty()) continue;
    if (!_started) startElement();
    while (_row < element.count) {
      std::string_view line;
      if (!_lines.next(line)) {
        throw EScanFileError(
            _name + ":" + std::to_string(_base + _lines.number() + 1) +
            ": the file ends after " + std::to_string(_row) + " of " +
            std::to_string(element.count) + " '" + element.name + "' rows");
      }
      ++_row;
      if (!_fields) continue;  // not a vertex
      // The count is checked before the values.
      std::size_t bad = _values.size();
      std::string_view badWord;
      const std::size_t n =
          eachWord(line, _values.size(), [&](std::size_t i, std::string_view w) {
            if (!parseAscii(w, element.properties[i].type, _values[i]) &&
                bad == _values.size()) {
              bad = i;
              badWord = w;
            }
          });
      if (n != _values.size()) {
        throw EScanFileError(where() + ": expected " +
                             std::to_string(_values.size()) +
                             " values for a vertex, found " +
                             std::to_string(n));
      }
      if (bad < n) failValue(badWord, bad);
      const int wrong = decodeVertex(_values.data(), *_fields, p);
      if (wrong >= 0) {
        throw EScanFileError(
            where() + ": " +
            wrongField(wrong, _values[std::size_t(_fields->index[wrong])]));
      }
      return true;
    }
  }
  std::string_view line;
  while (_lines.next(line)) {
    if (!isBlank(line)) {
      throw EScanFileError(where() + ": text after the last element (a wrong "
                                     "count in the header?)");
    }
  }
  return false;
}

template <class Lines>
std::uint64_t AsciiPlyRows<Lines>::restOf(Lines& lines) {
  if constexpr (std::is_same_v<Lines, LineReader>) {
    return lines.rest().size();
  } else {
    return lines.restSize();
  }
}

template <class Lines>
void AsciiPlyRows<Lines>::startElement() {
  const PlyElement& element = _header.elements[_element];
  // Every row takes a line of at least one character.
  const std::uint64_t rest = restOf(_lines);
  if (element.count > rest / 2) {
    fail(_name, "header line " + std::to_string(element.headerLine) +
                    ": element '" + element.name + "' declares " +
                    std::to_string(element.count) + " rows, but only " +
                    std::to_string(rest) + " bytes of text follow");
  }
  _values.assign(element.properties.size(), 0.0);
  _fields.reset();
  if (element.name == "vertex") _fields.emplace(element);
  _started = true;
}

template <class Lines>
void AsciiPlyRows<Lines>::failValue(std::string_view word,
                                    std::size_t i) const {
  const PlyProperty& property = _header.elements[_element].properties[i];
  throw EScanFileError(where() + ": " + shownText(word) + " is not a " +
                       (isInteger(property.type)
                            ? "whole number in the range of "
                            : "number for ") +
                       "property '" + property.name + "'");
}

}  // namespace scanfile
}  // namespace QUAX

#endif  // QUAX_SCAN_IO_TEXTROWS_H_
