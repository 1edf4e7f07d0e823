# The Fortran module for a project whose Fortran compiler is not the one the
# package was built with: the module files and the C entry layer built here
# from the installed sources (MAPPLOT_FORTRAN_FILES_SOURCE_NAMES for
# mapplot::fortran_files, MAPPLOT_FORTRAN_SOURCE_NAMES for mapplot::fortran),
# with the project's Fortran compiler and against its own
# ISO_Fortran_binding.h, so that the entry layer reads the descriptors this
# compiler makes. Included by mapplotConfig.cmake, which has enabled C++,
# with _mapplot_fortran_parts naming the targets to make: fortran_files (for
# the component files), fortran (for the component screen; over fortran_files).
include("${CMAKE_CURRENT_LIST_DIR}/mapplotFortranBinding.cmake")
set(_mapplot_dir "${CMAKE_CURRENT_BINARY_DIR}/mapplot_fortran")
mapplot_fortran_binding_header("${_mapplot_dir}/binding")
set(_mapplot_compiler "${CMAKE_Fortran_COMPILER_ID} ${CMAKE_Fortran_COMPILER_VERSION}")

# The sources lie in <MAPPLOT_FORTRAN_SOURCE_DIR>/fortran, whence the entry
# layer includes "fortran/descriptors.h".
foreach(_mapplot_part IN LISTS _mapplot_fortran_parts)
  string(TOUPPER "MAPPLOT_${_mapplot_part}_SOURCE_NAMES" _mapplot_names)
  set(_mapplot_sources ${${_mapplot_names}})
  list(TRANSFORM _mapplot_sources PREPEND "${MAPPLOT_FORTRAN_SOURCE_DIR}/fortran/")
  set(_mapplot_target mapplot_${_mapplot_part}_from_source)
  add_library(${_mapplot_target} STATIC ${_mapplot_sources})
  set_target_properties(${_mapplot_target} PROPERTIES
    Fortran_MODULE_DIRECTORY "${_mapplot_dir}/module")
  target_include_directories(${_mapplot_target}
    PUBLIC "${_mapplot_dir}/module"
    PRIVATE "${MAPPLOT_FORTRAN_SOURCE_DIR}")
  target_include_directories(${_mapplot_target} SYSTEM PRIVATE "${_mapplot_dir}/binding")
  target_compile_definitions(${_mapplot_target} PRIVATE
    "$<$<COMPILE_LANGUAGE:CXX>:MAPPLOT_FORTRAN_COMPILER=\"${_mapplot_compiler}\">")
  add_library(mapplot::${_mapplot_part} ALIAS ${_mapplot_target})
  if(_mapplot_part STREQUAL "fortran_files")
    target_link_libraries(${_mapplot_target} PUBLIC
      mapplot::mapps mapplot::mapnc mapplot::mapdata mapplot::rtl mapplot::textfmt)
  else()
    target_link_libraries(${_mapplot_target} PUBLIC
      mapplot::fortran_files mapplot::mapscreen mapplot::gfxwin mapplot::rtl ${CMAKE_DL_LIBS})
  endif()
endforeach()
