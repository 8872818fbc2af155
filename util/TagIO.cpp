// SPDX-License-Identifier: MIT
#include "util/TagIO.h"

namespace QUAX {
namespace {

using Traits = std::wistream::traits_type;

bool isNameChar(Traits::int_type c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
         (c >= L'0' && c <= L'9') || c == L'_' || c == L'-' || c == L'.' ||
         c == L':';
}

// Takes the next character if it is `expected`.
bool take(std::wistream& is, wchar_t expected) {
  if (is.peek() != static_cast<Traits::int_type>(expected)) return false;
  is.get();
  return true;
}

std::wstring readName(std::wistream& is) {
  std::wstring name;
  for (Traits::int_type c = is.peek(); c != Traits::eof() && isNameChar(c);
       c = is.peek()) {
    name += Traits::to_char_type(is.get());
  }
  return name;
}

}  // namespace

void writeSimpleStartTag(std::wostream& os, std::wstring name) {
  os << L'<' << name << L'>' << std::endl;
}

void writeEndTag(std::wostream& os, std::wstring name) {
  os << L"</" << name << L'>' << std::endl;
}

bool isSettingsWhiteSpace(std::wistream::int_type c) noexcept {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' ||
         c == L'\f';
}

void ignoreWhiteSpace(std::wistream& is) {
  while (is && isSettingsWhiteSpace(is.peek())) is.get();
}

bool checkStartTag(std::wistream& is, std::wstring name, bool simple) {
  ignoreWhiteSpace(is);
  if (!take(is, L'<')) return false;
  if (readName(is) != name) return false;
  if (!simple) return true;
  ignoreWhiteSpace(is);
  return take(is, L'>');
}

bool checkEndTag(std::wistream& is, std::wstring name) {
  ignoreWhiteSpace(is);
  if (!take(is, L'<') || !take(is, L'/')) return false;
  if (readName(is) != name) return false;
  ignoreWhiteSpace(is);
  return take(is, L'>');
}

}  // namespace QUAX
