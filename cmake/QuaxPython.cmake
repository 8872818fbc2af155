# SPDX-License-Identifier: MIT
# Finds what the Python module `quax` is built with (Debian: python3-dev,
# python3-numpy, pybind11-dev; scripts/install-deps python) and defines
# QUAX_BUILD_PYTHON, on by default when everything is there.
#
# The module must be built for the interpreter that has NumPy: Debian's own
# /usr/bin/python3, into which python3-numpy installs. A python3 found first
# on PATH (a pyenv shim, a virtualenv) may be another interpreter without
# NumPy, so /usr/bin/python3 is taken unless Python3_EXECUTABLE names
# another one, and NumPy must import in it.

set(quax_python_usable OFF)
set(quax_python_missing "")
if(CMAKE_CROSSCOMPILING)
  # A module for the build host's Python is of no use to a cross build.
  set(quax_python_missing "a Python of the target system, which a cross build lacks")
else()
  if(NOT Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH
      "The Python interpreter the quax module is built for")
  endif()
  find_package(Python3 3.8 QUIET COMPONENTS Interpreter Development.Module NumPy)
  if(Python3_FOUND)
    find_package(pybind11 2.6 CONFIG QUIET)
  endif()
  if(NOT Python3_FOUND)
    set(quax_python_missing "Python 3 with its headers and NumPy (${Python3_EXECUTABLE})")
  elseif(NOT pybind11_FOUND)
    set(quax_python_missing "pybind11")
  else()
    set(quax_python_usable ON)
  endif()
endif()

set(quax_python_default OFF)
if(quax_python_usable AND QUAX_TOP_LEVEL)
  set(quax_python_default ON)
endif()
option(QUAX_BUILD_PYTHON "Build the Python module quax (needs pybind11 and NumPy)"
  ${quax_python_default})

if(QUAX_BUILD_PYTHON AND NOT quax_python_usable)
  message(FATAL_ERROR "QUAX_BUILD_PYTHON needs ${quax_python_missing} "
    "(Debian: scripts/install-deps python), or configure with -DQUAX_BUILD_PYTHON=OFF")
elseif(NOT QUAX_BUILD_PYTHON AND quax_python_missing)
  message(STATUS "The Python module quax is not built: it needs ${quax_python_missing}")
endif()
