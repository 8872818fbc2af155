# SPDX-License-Identifier: MIT
# Runs one load probe and judges its exit status, standard output and
# standard error (see quax_load_test in CMakeLists.txt beside this file).
#   cmake -DPROGRAM=<exe> [-DARGS=a|b] [-DEMULATOR=<runner>]
#         [-DLIBRARY_PATH=<dir>] [-DWINEDEBUG=<channels>] -DEXIT=0|failed
#         [-DERR=none|message] [-DOUT_HAS=a|b] [-DOUT_LACKS=...]
#         [-DERR_HAS=...] [-DERR_LACKS=...] -P RunLoadProbe.cmake
# The texts are parts of the output; one ending in '$' ends a line there.
# ERR=message wants exactly the load check's message line on standard error,
# ERR_LACKS=message wants it nowhere there.
cmake_minimum_required(VERSION 3.25)

set(message [[Wrong version of "QUAXGeom.DLL". Verify path setting and try again.]])

foreach(list IN ITEMS ARGS EMULATOR OUT_HAS OUT_LACKS ERR_HAS ERR_LACKS)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()
if(LIBRARY_PATH)
  string(JOIN ":" path ${LIBRARY_PATH} $ENV{LD_LIBRARY_PATH})
  set(ENV{LD_LIBRARY_PATH} "${path}")
endif()
# Wine's own diagnostics stay off unless the test asks for some.
if(NOT WINEDEBUG)
  set(WINEDEBUG "-all")
endif()
set(ENV{WINEDEBUG} "${WINEDEBUG}")

execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
# Windows programs end their lines with CR LF.
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")

set(failures "")
if(EXIT STREQUAL "failed" AND status EQUAL 0)
  string(APPEND failures "\n  - a failed start (exit status not 0)")
elseif(EXIT STREQUAL "0" AND NOT status EQUAL 0)
  string(APPEND failures "\n  - exit status 0")
endif()
if(ERR STREQUAL "none" AND NOT err STREQUAL "")
  string(APPEND failures "\n  - nothing on standard error")
elseif(ERR STREQUAL "message" AND NOT err STREQUAL "${message}\n")
  string(APPEND failures "\n  - exactly the message line on standard error")
endif()
foreach(stream IN ITEMS out err)
  string(TOUPPER ${stream} name)
  foreach(kind IN ITEMS HAS LACKS)
    foreach(part IN LISTS ${name}_${kind})
      if(part STREQUAL "message")
        set(part "${message}")
      endif()
      string(REGEX REPLACE "\\$$" "\n" part "${part}")
      string(FIND "${${stream}}" "${part}" at)
      if((kind STREQUAL "HAS" AND at EQUAL -1) OR
         (kind STREQUAL "LACKS" AND NOT at EQUAL -1))
        string(APPEND failures "\n  - std${stream} ${kind} '${part}'")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN ARGS " " shown_args)
  message(FATAL_ERROR "${PROGRAM} ${shown_args}: expected${failures}\n"
    "exit status: ${status}\n--- standard output:\n${out}\n"
    "--- standard error:\n${err}")
endif()
message(STATUS "exit status ${status} and output as expected")
