// SPDX-License-Identifier: MIT
#include "scan/filters/SettingsIO.h"

#include <cstdint>
#include <sstream>

#include "util/TagIO.h"
#include "util/VXException.h"

namespace QUAX {
namespace {

using Traits = std::wistream::traits_type;

// Takes one whitespace-delimited word of at most `limit` characters, as an
// extraction with a field width would.
std::wstring takeWord(std::wistream& is, std::size_t limit) {
  std::wstring word;
  while (word.size() < limit) {
    const Traits::int_type c = is.peek();
    if (c == Traits::eof() || isSettingsWhiteSpace(c)) break;
    word += Traits::to_char_type(is.get());
  }
  return word;
}

// Whether the next character is `expected`; it is consumed either way.
bool takeChar(std::wistream& is, wchar_t expected) {
  return is.get() == Traits::to_int_type(expected);
}

}  // namespace

template <class T>
void writeAttributeElement(std::wostream& os, std::wstring element,
                           std::wstring attribute, T value) {
  os << L'<' << element << L' ' << attribute << L"=\"" << value << L"\"/>"
     << std::endl;
}

template <class T>
T readAttributeElement(std::wistream& is, std::wstring element,
                       std::wstring attribute) {
  if (!checkStartTag(is, element, false)) throw EVXIOAttributeNotRead();
  return readAttributeValue<T>(is, attribute, true, true);
}

template <class T>
T readAttributeValue(std::wistream& is, std::wstring attribute, bool last,
                     bool empty) {
  ignoreWhiteSpace(is);
  // The word stops after the name's length, so "value=" right after the
  // name reads as the name; a longer name fails on its next letter at '='.
  if (attribute.empty() || takeWord(is, attribute.size()) != attribute) {
    throw EVXIOAttributeNotRead();
  }
  ignoreWhiteSpace(is);
  if (!takeChar(is, L'=')) throw EVXIOAttributeNotRead();
  ignoreWhiteSpace(is);
  if (!takeChar(is, L'"')) throw EVXIOAttributeNotRead();

  std::wstring text;
  // Without its closing quote the line ends inside the value.
  if (!std::getline(is, text, L'"') || is.eof()) throw EVXIOAttributeNotRead();

  // The number is parsed as the caller's stream would parse it.
  std::wistringstream parser(text);
  parser.imbue(is.getloc());
  T value{};
  parser >> value;

  if (last) {
    ignoreWhiteSpace(is);
    if (empty) {
      if (!takeChar(is, L'/')) throw EVXIOAttributeNotRead();
      if (!takeChar(is, L'>')) throw EVXIOBadFooter();
    } else if (!takeChar(is, L'>')) {
      throw EVXIOAttributeNotRead();
    }
  }
  return value;
}

#define QUAX_SETTINGS_IO_INSTANCES(T)                                  \
  template void writeAttributeElement<T>(std::wostream&, std::wstring, \
                                         std::wstring, T);             \
  template T readAttributeElement<T>(std::wistream&, std::wstring,     \
                                     std::wstring);                    \
  template T readAttributeValue<T>(std::wistream&, std::wstring, bool, bool);

QUAX_SETTINGS_IO_INSTANCES(std::int32_t)
QUAX_SETTINGS_IO_INSTANCES(std::uint32_t)
QUAX_SETTINGS_IO_INSTANCES(double)

#undef QUAX_SETTINGS_IO_INSTANCES

}  // namespace QUAX
