# The Fortran module for a project whose Fortran compiler is not the one the
# package was built with: mapplot.mod and the C entry layer built here from
# the installed sources (MAPPLOT_FORTRAN_SOURCE_NAMES), with the project's Fortran
# compiler and against its own ISO_Fortran_binding.h, so that the entry layer
# reads the descriptors this compiler makes. Included by mapplotConfig.cmake,
# which has enabled C++.
include("${CMAKE_CURRENT_LIST_DIR}/mapplotFortranBinding.cmake")
set(_mapplot_dir "${CMAKE_CURRENT_BINARY_DIR}/mapplot_fortran")
mapplot_fortran_binding_header("${_mapplot_dir}/binding")

# The sources lie in <MAPPLOT_FORTRAN_SOURCE_DIR>/fortran, whence the entry
# layer includes "fortran/descriptors.h".
set(_mapplot_sources ${MAPPLOT_FORTRAN_SOURCE_NAMES})
list(TRANSFORM _mapplot_sources PREPEND "${MAPPLOT_FORTRAN_SOURCE_DIR}/fortran/")
add_library(mapplot_fortran_from_source STATIC ${_mapplot_sources})
set_target_properties(mapplot_fortran_from_source PROPERTIES
  Fortran_MODULE_DIRECTORY "${_mapplot_dir}/module")
target_include_directories(mapplot_fortran_from_source
  PUBLIC "${_mapplot_dir}/module"
  PRIVATE "${MAPPLOT_FORTRAN_SOURCE_DIR}")
target_include_directories(mapplot_fortran_from_source SYSTEM PRIVATE "${_mapplot_dir}/binding")
set(_mapplot_compiler "${CMAKE_Fortran_COMPILER_ID} ${CMAKE_Fortran_COMPILER_VERSION}")
target_compile_definitions(mapplot_fortran_from_source PRIVATE
  "$<$<COMPILE_LANGUAGE:CXX>:MAPPLOT_FORTRAN_COMPILER=\"${_mapplot_compiler}\">")
target_link_libraries(mapplot_fortran_from_source PUBLIC
  mapplot::mapscreen mapplot::mapps mapplot::mapdata mapplot::gfxwin mapplot::rtl)
add_library(mapplot::fortran ALIAS mapplot_fortran_from_source)
