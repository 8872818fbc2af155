# SPDX-License-Identifier: MIT
# Doxygen's input filter for the public headers: every line comment that
# stands on a line of its own after the include guard becomes a /// comment,
# so the contract written above a declaration documents it. The license line
# and the file's head comment, above the guard, stay as they are.
1,/^#ifndef/b
s#^([[:space:]]*)//( |$)#\1///\2#
