// SPDX-License-Identifier: MIT
// Internal: one settings line of a filter's settings block.
//
// A settings line is an empty element with one attribute, written as
//   <Element attribute="value"/>
// followed by a line end. The reader accepts whitespace before the attribute
// name, on both sides of '=' and before '/', but not between '/' and '>'.
// Reading failures throw the utility library's I/O exceptions; the filters
// turn them into their own settings errors.
#ifndef QUAX_SCAN_FILTERS_SETTINGSIO_H_
#define QUAX_SCAN_FILTERS_SETTINGSIO_H_

#include <istream>
#include <ostream>
#include <string>

namespace QUAX {

// Writes "<element attribute="value"/>" and std::endl. The value goes through
// the stream's own inserter, with the stream's current formatting.
// Instances: std::int32_t, std::uint32_t, double.
template <class T>
void writeAttributeElement(std::wostream& os, std::wstring element,
                           std::wstring attribute, T value);

// Reads one settings line written by writeAttributeElement and returns its
// value. Throws EVXIOAttributeNotRead for a wrong element or attribute, a
// missing '=', quote or '/', or a stream that ends inside the line, and
// EVXIOBadFooter for a '/' not directly followed by '>'.
template <class T>
T readAttributeElement(std::wistream& is, std::wstring element,
                       std::wstring attribute);

// Reads `attribute="value"` and, when `last` is set, the close of the
// element: "/>" when `empty` is set, ">" otherwise. Leading whitespace is
// passed over. A value text that is not a number of type T is not detected:
// the value is what the extractor leaves (0 when nothing could be parsed).
template <class T>
T readAttributeValue(std::wistream& is, std::wstring attribute, bool last,
                     bool empty);

}  // namespace QUAX

#endif  // QUAX_SCAN_FILTERS_SETTINGSIO_H_
