# SPDX-License-Identifier: MIT
# Helpers shared by the library folders, tests and tools.

include(GenerateExportHeader)

# Warnings for our own targets only; -Werror behind QUAX_WERROR.
function(quax_set_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${QUAX_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
      -Wshadow -Wnon-virtual-dtor $<$<BOOL:${QUAX_WERROR}>:-Werror>)
  endif()
endfunction()

# quax_add_library(<name> EXPORT_MACRO <QUAX_X_API> ALIASES <alias>...
#                  SOURCES <cpp>... HEADERS <h>... [INTERNAL_HEADERS <h>...])
#
# Makes the library from an OBJECT library <name>_objects, so that tests can
# link the objects directly and reach internals that the shared library hides.
# Public headers install with their folder; the export header is generated
# into <binary>/include/<folder>/<name>Export.h.
function(quax_add_library name)
  cmake_parse_arguments(ARG "" "EXPORT_MACRO;FOLDER"
    "ALIASES;SOURCES;HEADERS;INTERNAL_HEADERS" ${ARGN})

  add_library(${name}_objects OBJECT ${ARG_SOURCES})
  add_library(${name} $<TARGET_OBJECTS:${name}_objects>)
  # The API reference reads the public headers of every library listed here.
  set_property(GLOBAL APPEND PROPERTY QUAX_LIBRARIES ${name})
  set_property(GLOBAL APPEND PROPERTY QUAX_EXPORT_MACROS ${ARG_EXPORT_MACRO})
  foreach(alias IN LISTS ARG_ALIASES)
    add_library(${alias} ALIAS ${name})
  endforeach()

  set(export_header ${PROJECT_BINARY_DIR}/include/${ARG_FOLDER}/${name}Export.h)
  generate_export_header(${name}
    BASE_NAME ${name}
    EXPORT_MACRO_NAME ${ARG_EXPORT_MACRO}
    EXPORT_FILE_NAME ${export_header}
    STATIC_DEFINE ${name}_STATIC)

  # The objects are compiled as "building <name>"; a static build defines
  # the static flag for everybody so that the macros expand to nothing.
  set_target_properties(${name}_objects PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    DEFINE_SYMBOL "")
  target_compile_definitions(${name}_objects PRIVATE ${name}_EXPORTS)
  # Results are bit for bit those of the operations as written: the compiler
  # may not fuse a multiply and an add where the processor target has FMA.
  if(NOT MSVC)
    target_compile_options(${name}_objects PRIVATE -ffp-contract=off)
  endif()
  if(NOT BUILD_SHARED_LIBS)
    target_compile_definitions(${name}_objects PUBLIC ${name}_STATIC)
  endif()
  target_include_directories(${name}_objects PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)
  quax_set_warnings(${name}_objects)

  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(NOT BUILD_SHARED_LIBS)
    target_compile_definitions(${name} PUBLIC ${name}_STATIC)
  endif()
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    EXPORT_NAME ${name})
  if(NOT WIN32 AND NOT APPLE)
    # Installed libraries find their siblings beside them.
    set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
  if(WIN32)
    # QUAXScan.dll, not libQUAXScan.dll; the import library keeps its
    # lib prefix (libQUAXScan.dll.a), as MinGW linkers expect.
    set_target_properties(${name} PROPERTIES PREFIX "")
  endif()

  target_sources(${name} PUBLIC
    FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${ARG_HEADERS})
  target_sources(${name} PUBLIC
    FILE_SET export_headers TYPE HEADERS
    BASE_DIRS ${PROJECT_BINARY_DIR}/include FILES ${export_header})

  if(QUAX_INSTALL)
    install(TARGETS ${name} EXPORT QUAXScanTargets
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT QUAX_Runtime
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT QUAX_Runtime
      NAMELINK_COMPONENT QUAX_Development
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT QUAX_Development
      FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
      FILE_SET export_headers DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  endif()
endfunction()

# Links <target>'s objects and the given libraries into both the library and
# its object library (object libraries need their usage requirements too).
function(quax_link_libraries name)
  target_link_libraries(${name}_objects PUBLIC ${ARGN})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# quax_library_sources(<name> SOURCES <cpp>... HEADERS <h>...)
# Adds sources and public headers to a library made by quax_add_library,
# from the subfolder that holds them.
function(quax_library_sources name)
  cmake_parse_arguments(ARG "" "" "SOURCES;HEADERS" ${ARGN})
  if(ARG_SOURCES)
    target_sources(${name}_objects PRIVATE ${ARG_SOURCES})
  endif()
  if(ARG_HEADERS)
    target_sources(${name} PUBLIC FILE_SET HEADERS FILES ${ARG_HEADERS})
  endif()
endfunction()

# quax_geom_version_node(<target> <build>)
# ELF only: every symbol the QUAXGeom library <target> exports is defined
# under the version node QUAXGEOM_BUILD_<build>. A library linked against it
# (QUAXScan) records that node with each reference, and the dynamic loader
# then refuses a QUAXGeom that lacks it, i.e. one of another build: a
# program linked against QUAXScan does not start, and dlopen() of QUAXScan
# returns null with a dlerror() that names the node and the library. Windows
# keeps its load-time check in DllMain and needs nothing here.
function(quax_geom_version_node target build)
  if(WIN32 OR APPLE)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "SHARED_LIBRARY")
    return()
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}-build${build}.map)
  file(CONFIGURE OUTPUT ${script}
    CONTENT "QUAXGEOM_BUILD_${build} {\n  global: *;\n};\n")
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
