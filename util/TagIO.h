// SPDX-License-Identifier: MIT
// Tags of the tagged wide-character settings text.
//
// A block starts with "<Name>" and ends with "</Name>", each on a line of its
// own. The checks pass over leading whitespace (including the line end that
// closed the previous line) and accept exactly what the writers write.
#ifndef QUAX_UTIL_TAGIO_H_
#define QUAX_UTIL_TAGIO_H_

#include <istream>
#include <ostream>
#include <string>

#include "util/QUAXUtilExport.h"

namespace QUAX {

// Writes "<name>" and a line end (std::endl).
QUAX_UTIL_API void writeSimpleStartTag(std::wostream& os, std::wstring name);
// Writes "</name>" and a line end (std::endl).
QUAX_UTIL_API void writeEndTag(std::wostream& os, std::wstring name);

// Reads the next start tag and answers whether it names `name`. With
// `simple` set the whole tag "<name>" is consumed (whitespace may stand
// before the ">"); otherwise only "<" and the element name are consumed and
// the stream is left before the first attribute.
QUAX_UTIL_API bool checkStartTag(std::wistream& is, std::wstring name,
                                 bool simple);
// Reads the next end tag "</name>" and answers whether it names `name`.
QUAX_UTIL_API bool checkEndTag(std::wistream& is, std::wstring name);
// Consumes whitespace so that the next character read is not whitespace.
QUAX_UTIL_API void ignoreWhiteSpace(std::wistream& is);
// Whether `c` (a character or EOF as a stream's peek() returns it) is
// whitespace of the settings text: space, tab, line feed, carriage return,
// vertical tab or form feed.
QUAX_UTIL_API bool isSettingsWhiteSpace(std::wistream::int_type c) noexcept;

}  // namespace QUAX

#endif  // QUAX_UTIL_TAGIO_H_
