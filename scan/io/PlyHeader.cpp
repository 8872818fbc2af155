// SPDX-License-Identifier: MIT
// Reading and checking the header of a PLY scan file.
#include "scan/io/PlyHeader.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace QUAX {
namespace scanfile {

namespace {

bool plyType(std::string_view word, PlyType& type) {
  static const struct {
    const char* name;
    PlyType type;
  } kTypes[] = {
      {"char", PlyType::kInt8},      {"int8", PlyType::kInt8},
      {"uchar", PlyType::kUInt8},    {"uint8", PlyType::kUInt8},
      {"short", PlyType::kInt16},    {"int16", PlyType::kInt16},
      {"ushort", PlyType::kUInt16},  {"uint16", PlyType::kUInt16},
      {"int", PlyType::kInt32},      {"int32", PlyType::kInt32},
      {"uint", PlyType::kUInt32},    {"uint32", PlyType::kUInt32},
      {"float", PlyType::kFloat32},  {"float32", PlyType::kFloat32},
      {"double", PlyType::kFloat64}, {"float64", PlyType::kFloat64},
  };
  for (const auto& t : kTypes) {
    if (word == t.name) {
      type = t.type;
      return true;
    }
  }
  return false;
}

constexpr std::size_t kMaxElements = 1024;
constexpr std::size_t kMaxProperties = 16384;

}  // namespace

// An ASCII value of `type`: integers as integers in the type's range.
bool parseAscii(std::string_view word, PlyType type, double& value) {
  if (!isInteger(type)) return parseDouble(word, value);
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  std::int64_t v = 0;
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, v);
  if (result.ec != std::errc() || result.ptr != end) return false;
  std::int64_t low = 0, high = 0;
  switch (type) {
    case PlyType::kInt8:
      low = INT8_MIN, high = INT8_MAX;
      break;
    case PlyType::kUInt8:
      low = 0, high = UINT8_MAX;
      break;
    case PlyType::kInt16:
      low = INT16_MIN, high = INT16_MAX;
      break;
    case PlyType::kUInt16:
      low = 0, high = UINT16_MAX;
      break;
    case PlyType::kInt32:
      low = INT32_MIN, high = INT32_MAX;
      break;
    default:
      low = 0, high = UINT32_MAX;
      break;
  }
  if (v < low || v > high) return false;
  value = double(v);
  return true;
}

namespace {

using Words = std::vector<std::string_view>;

// "comment surface <k> frames <n>", as this library writes it; other
// comments are skipped.
void readComment(std::string_view rest, const std::string& at,
                 PlyHeader& header, const std::string& name) {
  const auto w = words(rest);
  std::uint64_t surface = 0, frames = 0;
  if (w.size() == 4 && w[0] == "surface" && w[2] == "frames" &&
      parseCount(w[1], surface) && parseCount(w[3], frames)) {
    if (surface >= kStructureFloor * 16 ||
        frames >= (std::uint64_t(1) << 40)) {
      fail(name, at + "surface " + std::to_string(surface) + " with " +
                     std::to_string(frames) + " frames is past any limit");
    }
    if (surface >= header.declaredFrames.size()) {
      header.declaredFrames.resize(std::size_t(surface) + 1, 0);
    }
    header.declaredFrames[std::size_t(surface)] = std::size_t(frames);
  }
}

void readFormat(const Words& w, const std::string& at, PlyHeader& header,
                const std::string& name) {
  if (w.size() != 2) fail(name, at + "expected 'format <type> 1.0'");
  if (w[1] != "1.0") {
    fail(name, at + "PLY version " + shownText(w[1]) + " (only 1.0 is read)");
  }
  if (w[0] == "ascii") {
    header.format = PlyFormat::kAscii;
  } else if (w[0] == "binary_little_endian") {
    header.format = PlyFormat::kBinaryLittleEndian;
  } else if (w[0] == "binary_big_endian") {
    fail(name, at + "big-endian PLY is not supported; "
                    "use ASCII or binary_little_endian");
  } else {
    fail(name, at + "unknown PLY format " + shownText(w[0]));
  }
}

void readElement(const Words& w, const std::string& at, std::size_t line,
                 PlyHeader& header, const std::string& name) {
  std::uint64_t count = 0;
  if (w.size() != 2 || !parseCount(w[1], count)) {
    fail(name, at + "expected 'element <name> <count>' with a count of "
                    "0 or more");
  }
  for (const PlyElement& e : header.elements) {
    if (e.name == w[0]) fail(name, at + "a second element " + shownText(w[0]));
  }
  if (header.elements.size() >= kMaxElements) {
    fail(name, at + "more than 1024 elements");
  }
  PlyElement element;
  element.name = std::string(w[0]);
  element.count = count;
  element.headerLine = line;
  header.elements.push_back(std::move(element));
}

void readProperty(const Words& w, const std::string& at, PlyHeader& header,
                  std::size_t& properties, const std::string& name) {
  if (header.elements.empty()) {
    fail(name, at + "'property' before any 'element' line");
  }
  PlyElement& element = header.elements.back();
  PlyProperty property;
  if (!w.empty() && w[0] == "list") {
    if (w.size() != 4 || !plyType(w[1], property.countType) ||
        !plyType(w[2], property.type) || !isInteger(property.countType)) {
      fail(name, at + "expected 'property list <integer type> <type> "
                      "<name>'");
    }
    property.isList = true;
    property.name = std::string(w[3]);
  } else {
    if (w.size() != 2) fail(name, at + "expected 'property <type> <name>'");
    if (!plyType(w[0], property.type)) {
      fail(name, at + "unknown property type " + shownText(w[0]));
    }
    property.name = std::string(w[1]);
  }
  for (const PlyProperty& p : element.properties) {
    if (p.name == property.name) {
      fail(name, at + "a second property " + shownText(property.name));
    }
  }
  if (++properties > kMaxProperties) {
    fail(name, at + "more than 16384 properties");
  }
  element.properties.push_back(std::move(property));
}

// The vertex element holds x, y and z, and none of the fields a scan set
// uses is a list.
void checkVertex(const PlyHeader& header, const std::string& name) {
  const PlyElement* vertex = nullptr;
  for (const PlyElement& e : header.elements) {
    if (e.name == "vertex") vertex = &e;
  }
  if (vertex == nullptr) fail(name, "the PLY header has no 'vertex' element");
  for (const char* needed : {"x", "y", "z"}) {
    const bool found =
        std::any_of(vertex->properties.begin(), vertex->properties.end(),
                    [&](const PlyProperty& p) { return p.name == needed; });
    if (!found) {
      fail(name, "the PLY vertex element has no property '" +
                     std::string(needed) + "'");
    }
  }
  for (const PlyProperty& p : vertex->properties) {
    for (const char* field : kFieldNames) {
      if (p.isList && p.name == field) {
        fail(name, "header line " + std::to_string(vertex->headerLine) +
                       ": vertex property '" + p.name + "' is a list");
      }
    }
  }
}

}  // namespace

PlyHeader parsePlyHeader(LineReader& lines, const std::string& name) {
  PlyHeader header;
  std::string_view line;
  if (!lines.next(line) || line != "ply") {
    fail(name, "not a PLY file (the first line is not 'ply')");
  }
  bool haveFormat = false;
  std::size_t headerBytes = 0, properties = 0;
  while (true) {
    // A last line cut short is part of a header cut short.
    if (!lines.next(line) || !lines.terminated()) {
      fail(name, "the file ends inside the PLY header (no 'end_header' line)");
    }
    headerBytes += line.size() + 1;
    if (headerBytes > kMaxHeaderBytes) {
      fail(name,
           "the PLY header is longer than 64 MiB (no 'end_header' line?)");
    }
    const std::string at =
        "header line " + std::to_string(lines.number()) + ": ";
    std::string_view rest = line;
    const std::string_view keyword = nextWord(rest);
    if (keyword == "end_header") {
      if (!words(rest).empty()) fail(name, at + "text after 'end_header'");
      break;
    }
    if (keyword == "comment") {
      readComment(rest, at, header, name);
      continue;
    }
    if (keyword == "obj_info" || keyword.empty()) continue;
    const auto w = words(rest);
    if (keyword == "format") {
      if (haveFormat) fail(name, at + "a second 'format' line");
      readFormat(w, at, header, name);
      haveFormat = true;
    } else if (keyword == "element") {
      if (!haveFormat) fail(name, at + "'element' before the 'format' line");
      readElement(w, at, lines.number(), header, name);
    } else if (keyword == "property") {
      readProperty(w, at, header, properties, name);
    } else {
      fail(name, at + "unknown PLY header keyword " + shownText(keyword));
    }
  }
  if (!haveFormat) fail(name, "the PLY header has no 'format' line");
  header.dataLine = lines.number();
  checkVertex(header, name);
  return header;
}

}  // namespace scanfile
}  // namespace QUAX
