# SPDX-License-Identifier: MIT
# Cross build of the 64-bit Windows DLLs with Debian's MinGW-w64 (posix
# threads). Test programs run under Wine through scripts/wine-run, which CMake
# puts in front of every test command (gtest_discover_tests and ctest alike).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUAX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUAX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUAX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUAX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUAX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime (libgcc, libstdc++, winpthread) goes into every DLL and
# program, so that they run without libstdc++-6.dll beside them. With -static
# the linker takes no import library for -lfoo; CMake links our own import
# libraries by full path, and the system's (user32, kernel32) are archives.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

get_filename_component(_quax_repo "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_quax_repo}/scripts/wine-run")
unset(_quax_repo)
