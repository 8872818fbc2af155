# SPDX-License-Identifier: MIT
# Checks a library's export table against a list of expected and forbidden
# names (see ScanExports.txt for the format).
#   cmake -DLIBRARY=<dll or so> -DNAMES=<list file> -DFORMAT=pe|elf
#         -DLISTER=<objdump for pe, nm for elf> [-DDEMANGLER=<c++filt>]
#         -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)

if(FORMAT STREQUAL "pe")
  # objdump -p prints the export name table as lines "\t[   12] <name>".
  execute_process(COMMAND ${LISTER} -p ${LIBRARY}
    OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${LISTER} -p ${LIBRARY} failed: ${status}")
  endif()
  string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" mangled "${dump}")
  # Mangled names hold only [A-Za-z0-9_.$]: safe as list elements and as
  # arguments of the demangler, which prints one name per line.
  list(TRANSFORM mangled REPLACE "^\t\\[ *[0-9]+\\] " "")
  execute_process(COMMAND ${DEMANGLER} ${mangled}
    OUTPUT_VARIABLE demangled RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${DEMANGLER} failed: ${status}")
  endif()
elseif(FORMAT STREQUAL "elf")
  # nm -D -C prints "<address> <type> <demangled name>".
  execute_process(COMMAND ${LISTER} -D --defined-only -C ${LIBRARY}
    OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${LISTER} -D ${LIBRARY} failed: ${status}")
  endif()
  string(REGEX REPLACE "(^|\n)[0-9a-fA-F]* [A-Za-z] " "\\1" demangled "${dump}")
else()
  message(FATAL_ERROR "FORMAT must be pe or elf")
endif()

# One name per list element; names never hold ';' but may hold brackets,
# which list operations would take as nesting: escape them.
string(REPLACE "[" "<open-bracket>" demangled "${demangled}")
string(REPLACE "]" "<close-bracket>" demangled "${demangled}")
string(REPLACE "\n" ";" names "${demangled}")
list(FILTER names EXCLUDE REGEX "^$")
list(LENGTH names count)
if(count EQUAL 0)
  message(FATAL_ERROR "no exported names found in ${LIBRARY}")
endif()

file(STRINGS ${NAMES} entries REGEX "^[+-] ")
set(missing "")
set(leaked "")
foreach(entry IN LISTS entries)
  string(SUBSTRING "${entry}" 0 1 sign)
  string(SUBSTRING "${entry}" 2 -1 pattern)
  set(matches ${names})
  list(FILTER matches INCLUDE REGEX "${pattern}")
  if(sign STREQUAL "+" AND NOT matches)
    string(APPEND missing "\n  ${pattern}")
  elseif(sign STREQUAL "-" AND matches)
    list(JOIN matches "\n    " shown)
    string(APPEND leaked "\n  ${pattern}\n    ${shown}")
  endif()
endforeach()

if(missing OR leaked)
  message(FATAL_ERROR "${LIBRARY} (${count} exported names):"
    "\nexpected but not exported:${missing}"
    "\nexported but internal:${leaked}")
endif()
list(LENGTH entries checked)
message(STATUS "${count} exported names agree with ${checked} entries")
