# SPDX-License-Identifier: MIT
# cmake -DREADME=<README.md> -DEXAMPLES=<file>;<file>... -P ShownInReadme.cmake
# Fails unless the README holds, word for word, the lines of each example
# between its first and second line that ends in "[quickstart]".
set(marker "[quickstart]\n")
file(READ "${README}" readme)
foreach(example IN LISTS EXAMPLES)
  file(READ "${example}" text)
  string(FIND "${text}" "${marker}" first)
  if(first EQUAL -1)
    message(FATAL_ERROR "${example}: no [quickstart] line")
  endif()
  string(LENGTH "${marker}" length)
  math(EXPR first "${first} + ${length}")
  string(SUBSTRING "${text}" ${first} -1 text)
  string(FIND "${text}" "${marker}" second)
  if(second EQUAL -1)
    message(FATAL_ERROR "${example}: no second [quickstart] line")
  endif()
  string(SUBSTRING "${text}" 0 ${second} text)
  # Up to the end of the line before the second marker's line.
  string(FIND "${text}" "\n" end REVERSE)
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${text}" 0 ${end} shown)
  string(FIND "${readme}" "${shown}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${README} does not show the quick start of "
      "${example} as it stands: copy the lines between its [quickstart] "
      "lines into the README")
  endif()
endforeach()
