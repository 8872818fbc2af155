# SPDX-License-Identifier: MIT
# Runs one load probe and judges its exit status, standard output and
# standard error (see CMakeLists.txt beside this file).
#   cmake -DCASE=<case> -DPROGRAM=<exe> [-DARGS=a|b] [-DEMULATOR=<runner>]
#         [-DLIBRARY_PATH=<dir>] -P RunLoadProbe.cmake
cmake_minimum_required(VERSION 3.25)

set(message [[Wrong version of "QUAXGeom.DLL". Verify path setting and try again.]])
set(main_ran "probe main ran with scan build 3")

string(REPLACE "|" ";" args "${ARGS}")
string(REPLACE "|" ";" emulator "${EMULATOR}")
if(LIBRARY_PATH)
  if("$ENV{LD_LIBRARY_PATH}" STREQUAL "")
    set(ENV{LD_LIBRARY_PATH} "${LIBRARY_PATH}")
  else()
    set(ENV{LD_LIBRARY_PATH} "${LIBRARY_PATH}:$ENV{LD_LIBRARY_PATH}")
  endif()
endif()

# Wine's own diagnostics stay off, except the one that shows a window
# (the message box) was asked for.
if(CASE STREQUAL "refused-visible-station")
  set(ENV{WINEDEBUG} "-all,err+winediag")
else()
  set(ENV{WINEDEBUG} "-all")
endif()

execute_process(COMMAND ${emulator} ${PROGRAM} ${args}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 60)
# Windows programs end their lines with CR LF.
string(REPLACE "\r\n" "\n" out "${out}")
string(REPLACE "\r\n" "\n" err "${err}")

set(failures "")
# expect(<what> <if() condition...>) records <what> when the condition fails.
function(expect text)
  if(NOT (${ARGN}))
    set(failures "${failures}\n  - ${text}" PARENT_SCOPE)
  endif()
endfunction()
function(contains haystack needle result)
  string(FIND "${haystack}" "${needle}" at)
  if(at EQUAL -1)
    set(${result} FALSE PARENT_SCOPE)
  else()
    set(${result} TRUE PARENT_SCOPE)
  endif()
endfunction()

contains("${out}" "${main_ran}" ran)
if(CASE STREQUAL "accepted")
  expect("exit status 0" status EQUAL 0)
  expect("main ran" ran)
  string(LENGTH "${err}" err_length)
  expect("nothing on standard error" err_length EQUAL 0)

elseif(CASE STREQUAL "counted")
  expect("exit status 0" status EQUAL 0)
  contains("${out}" "checks after load: 1 (build 3)" once)
  contains("${out}" "checks after threads: 1\n" still_once)
  expect("the check ran exactly once, asking for build 3" once)
  expect("starting and ending threads ran no further check" still_once)

elseif(CASE STREQUAL "refused")
  # ELF: the loader refuses QUAXScan, whose references ask for the version
  # node of build 3, before main; it names the node and the library (glibc
  # ends such a program with status 1).
  contains("${err}" "version `QUAXGEOM_BUILD_3' not found" node_named)
  contains("${err}" "/libQUAXGeom" geom_named)
  expect("a failed start (exit status not 0)" NOT status EQUAL 0)
  expect("main never ran" NOT ran)
  expect("the loader names the version node QUAXGEOM_BUILD_3" node_named)
  expect("the loader names the QUAXGeom file" geom_named)

elseif(CASE STREQUAL "refused-dlopen")
  # ELF, a plug-in host: dlopen fails, the host goes on.
  contains("${out}" "dlopen refused the scan library: " refused)
  contains("${out}" "version `QUAXGEOM_BUILD_3' not found" node_named)
  contains("${out}" "/libQUAXGeom" geom_named)
  contains("${out}" "host survived\n" survived)
  expect("exit status 0" status EQUAL 0)
  expect("dlopen returned null" refused)
  expect("dlerror names the version node QUAXGEOM_BUILD_3" node_named)
  expect("dlerror names the QUAXGeom file" geom_named)
  expect("the host ran on" survived)
  string(LENGTH "${err}" err_length)
  expect("nothing on standard error" err_length EQUAL 0)

elseif(CASE STREQUAL "unversioned")
  # ELF, a QUAXGeom of another build without version nodes: the loader lets
  # it pass, the library's own check writes the message and reports it, and
  # the host goes on.
  contains("${out}" "dlopen loaded the scan library; load accepted: 0" reported)
  contains("${out}" "host survived\n" survived)
  expect("exit status 0" status EQUAL 0)
  expect("scanLibraryLoadAccepted() is false" reported)
  expect("the host ran on" survived)
  expect("exactly the message line on standard error" err STREQUAL "${message}\n")

elseif(CASE STREQUAL "refused-at-start")
  # Windows, started by quax_load_launcher in a station no user sees: the
  # loader fails the process with STATUS_DLL_INIT_FAILED before main.
  contains("${out}" "child exit code: 0xc0000142" init_failed)
  expect("the launcher ran through" status EQUAL 0)
  expect("the process failed to start (0xc0000142)" init_failed)
  expect("main never ran" NOT ran)
  expect("exactly the message line on standard error" err STREQUAL "${message}\n")

elseif(CASE STREQUAL "refused-loadlibrary")
  contains("${out}" "window station visible: 0" hidden)
  contains("${out}" "LoadLibraryW refused QUAXScan.dll: error 1114" refused)
  contains("${out}" "child exit code: 0x00000000" probe_ok)
  expect("the launcher ran through" status EQUAL 0)
  expect("the probe ran through" probe_ok)
  expect("the probe stood in a window station that no user sees" hidden)
  expect("LoadLibraryW failed with ERROR_DLL_INIT_FAILED (1114)" refused)
  expect("exactly the message line on standard error" err STREQUAL "${message}\n")

elseif(CASE STREQUAL "refused-visible-station")
  contains("${out}" "window station visible: 1" visible)
  contains("${out}" "LoadLibraryW refused QUAXScan.dll: error 1114" refused)
  contains("${err}" "${message}" on_stderr)
  contains("${err}" "nodrv_CreateWindow" box_asked)
  expect("the probe ran through" status EQUAL 0)
  expect("the probe stood in the visible interactive station" visible)
  expect("LoadLibraryW failed with ERROR_DLL_INIT_FAILED (1114)" refused)
  expect("no message on standard error" NOT on_stderr)
  expect("a window (the message box) was asked for" box_asked)

elseif(CASE STREQUAL "notifications")
  expect("exit status 0" status EQUAL 0)
  foreach(line IN ITEMS "checks after load: 1" "checks after threads: 1"
                        "checks after unload: 1" "checks after second load: 2")
    contains("${out}" "${line}\n" seen)
    expect("'${line}'" seen)
  endforeach()

else()
  message(FATAL_ERROR "unknown case '${CASE}'")
endif()

if(failures)
  list(JOIN args " " shown_args)
  message(FATAL_ERROR "${PROGRAM} ${shown_args}: expected${failures}\n"
    "exit status: ${status}\n--- standard output:\n${out}\n"
    "--- standard error:\n${err}")
endif()
message(STATUS "${CASE}: exit status ${status}, as expected")
