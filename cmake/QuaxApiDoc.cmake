# SPDX-License-Identifier: MIT
# The API reference: Doxygen over the public headers every library installs,
# in <build>/apidoc/html (cmake --build --preset dev --target quax_apidoc).
# With QUAX_WERROR a warning fails the target, as it fails the compilers.
#
# The headers' contracts are written as plain // comments above each
# declaration; docs/api/comments-as-docs.sed turns those into /// comments as
# Doxygen reads them (the file's own head comment stays plain), so the
# headers need no Doxygen markup and the line numbers stay true.

find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  message(STATUS "Doxygen not found: no API reference (target quax_apidoc; "
    "scripts/install-deps docs installs it)")
  return()
endif()
message(STATUS "API reference: target quax_apidoc (Doxygen ${DOXYGEN_VERSION})")

get_property(quax_apidoc_libraries GLOBAL PROPERTY QUAX_LIBRARIES)
get_property(quax_apidoc_macros GLOBAL PROPERTY QUAX_EXPORT_MACROS)
set(QUAX_APIDOC_INPUT "")
foreach(library IN LISTS quax_apidoc_libraries)
  string(APPEND QUAX_APIDOC_INPUT
    " \"$<JOIN:$<TARGET_PROPERTY:${library},HEADER_SET>,\" \">\"")
endforeach()
# The export macros mean nothing to the reader of the reference.
list(TRANSFORM quax_apidoc_macros APPEND "=")
list(JOIN quax_apidoc_macros " " QUAX_APIDOC_PREDEFINED)
set(QUAX_APIDOC_WARN_AS_ERROR NO)
if(QUAX_WERROR)
  set(QUAX_APIDOC_WARN_AS_ERROR FAIL_ON_WARNINGS)
endif()

set(quax_apidoc_dir ${PROJECT_BINARY_DIR}/apidoc)
configure_file(${PROJECT_SOURCE_DIR}/docs/api/Doxyfile.in
  ${quax_apidoc_dir}/Doxyfile.in @ONLY)
file(GENERATE OUTPUT ${quax_apidoc_dir}/Doxyfile
  INPUT ${quax_apidoc_dir}/Doxyfile.in)

add_custom_target(quax_apidoc
  COMMAND ${CMAKE_COMMAND} -E remove_directory ${quax_apidoc_dir}/html
  COMMAND Doxygen::doxygen ${quax_apidoc_dir}/Doxyfile
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "API reference (Doxygen) in ${quax_apidoc_dir}/html"
  VERBATIM)
