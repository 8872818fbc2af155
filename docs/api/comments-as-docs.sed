# SPDX-License-Identifier: MIT
# Doxygen's input filter for the public headers. The comment under the
# license line, above the include guard, documents the file; below the guard
# every line comment that stands on a line of its own becomes a /// comment,
# so the contract written above a declaration documents it. Lines are only
# rewritten, never added or removed, so Doxygen's line numbers stay true.
1{
  s#^// SPDX-License-Identifier: .*#/// \\file#
  b
}
2,/^#ifndef/{
  s#^//( |$)#///\1#
  b
}
s#^([[:space:]]*)//( |$)#\1///\2#
