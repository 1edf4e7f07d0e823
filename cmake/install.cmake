# Installs the plotting module as the CMake package "mapplot" (targets
# mapplot::<library>, and mapplot::mapplot for all of them) and as the
# pkg-config module "mapplot"; gives this build the package's target names.
# The package has two components, each an export set of its own:
#   files   the libraries of the PostScript map and the data file, which need
#           no window system (mapplot::textfmt, rtl, maparg, mapps, mapdata, mapnc;
#           mapplot::fortran_files);
#   screen  the screen map and the windowing runtime, which need Qt 6, and
#           the films they record, which need FFmpeg's libraries and giflib
#           (mapplot::gfxwin, mapscreen, mapfilm, mapplot; mapplot::fortran);
#   mpi     where MPI was found, the renderings of a field spread over MPI
#           ranks (mapplot::mapplot_mpi, mapnc_mpi), asked for by name alone.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MAPPLOT_FILES_LIBRARIES mapps mapnc mapdata maparg rtl textfmt)
set(MAPPLOT_SCREEN_LIBRARIES mapscreen gfxwin mapfilm)
set(MAPPLOT_LIBRARIES mapscreen mapps mapnc mapdata gfxwin mapfilm maparg rtl textfmt)
set(MAPPLOT_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/mapplot)

# Static libraries of position-independent code, so that a user's own shared
# library (a Python or ctypes wrapper) may take them in; shared ones
# (BUILD_SHARED_LIBS) find one another in the folder they are installed in.
set(installed_libraries ${MAPPLOT_LIBRARIES})
if(TARGET mapplot_fortran)
  list(APPEND installed_libraries mapplot_fortran_files mapplot_fortran)
endif()
set_target_properties(${installed_libraries} PROPERTIES
  POSITION_INDEPENDENT_CODE ON INSTALL_RPATH "$ORIGIN")

# Callers include "mapps/ps_map.h" and the like, from the source tree while
# building and from include/mapplot once installed.
# The headers use C++20 (std::span ...): callers compile with it too.
foreach(lib IN LISTS MAPPLOT_LIBRARIES)
  set_target_properties(${lib} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>;$<INSTALL_INTERFACE:${MAPPLOT_INCLUDE_DIR}>")
  target_compile_features(${lib} PUBLIC cxx_std_20)
endforeach()

add_library(mapplot INTERFACE)
target_link_libraries(mapplot INTERFACE ${MAPPLOT_LIBRARIES})
target_compile_features(mapplot INTERFACE cxx_std_20)
target_include_directories(mapplot INTERFACE
  "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>" "$<INSTALL_INTERFACE:${MAPPLOT_INCLUDE_DIR}>")

install(TARGETS ${MAPPLOT_FILES_LIBRARIES} EXPORT mapplotFilesTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS ${MAPPLOT_SCREEN_LIBRARIES} mapplot EXPORT mapplotScreenTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The component "mpi", where this build made it: the renderings of a field
# spread over MPI ranks (mapplot::mapplot_mpi) and the NetCDF map file built
# against the parallel NetCDF (mapplot::mapnc_mpi, which a program of
# mapplot_mpi links in place of mapnc), which need MPI.
set(MAPPLOT_MPI_LIBRARIES "")
foreach(lib mapplot_mpi mapnc_mpi)
  if(TARGET ${lib})
    list(APPEND MAPPLOT_MPI_LIBRARIES ${lib})
  endif()
endforeach()
set(MAPPLOT_MPI_NETCDF OFF)
if(TARGET mapnc_mpi)
  set(MAPPLOT_MPI_NETCDF ON)
endif()
set(export_components Files Screen)
if(MAPPLOT_MPI_LIBRARIES)
  set_target_properties(${MAPPLOT_MPI_LIBRARIES} PROPERTIES
    POSITION_INDEPENDENT_CODE ON INSTALL_RPATH "$ORIGIN" INTERFACE_INCLUDE_DIRECTORIES
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>;$<INSTALL_INTERFACE:${MAPPLOT_INCLUDE_DIR}>")
  install(TARGETS ${MAPPLOT_MPI_LIBRARIES} EXPORT mapplotMpiTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES mapmpi/mpi_map.h DESTINATION ${MAPPLOT_INCLUDE_DIR}/mapmpi)
  list(APPEND export_components Mpi)
  list(APPEND installed_libraries ${MAPPLOT_MPI_LIBRARIES})
endif()
foreach(component IN LISTS export_components)
  install(EXPORT mapplot${component}Targets NAMESPACE mapplot::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mapplot)
endforeach()

# The same names in this build, for a project that takes this folder in
# with add_subdirectory: mapplot::mapdata, mapplot::mapplot ... as the package
# exports them, and mapplot::fortran_files and mapplot::fortran as the package
# gives them to a program of this Fortran compiler.
foreach(target IN LISTS installed_libraries ITEMS mapplot)
  get_target_property(name ${target} EXPORT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  add_library(mapplot::${name} ALIAS ${target})
endforeach()
if(TARGET mapplot_fortran)
  add_library(mapplot::fortran_files ALIAS mapplot_fortran_files)
  add_library(mapplot::fortran ALIAS mapplot_fortran)
endif()
if(TARGET mapplot_fortran_mpi)
  add_library(mapplot::fortran_mpi ALIAS mapplot_fortran_mpi)
endif()

# The public headers alone: those of the renderings and of the windowing
# runtime, and what they include; no test support, no internals, no window or
# PGPLOT implementation headers (so no Qt or giza header is ever needed).
# The package test fails when one of them includes a header not installed,
# or when a header is installed that none of them includes.
set(MAPPLOT_PUBLIC_HEADERS
  mapplot.h
  mapdata/dat_map.h mapdata/map_reader.h
  mapfilm/film.h
  mapnc/nc_map.h
  mapps/ps_map.h
  mapscreen/screen_map.h
  maparg/views.h maparg/text_fields.h maparg/palette.h maparg/contour.h
  # map_values.h: what graphics.h's map_values() gives (plain C++, no Qt).
  gfxwin/graphics.h gfxwin/runtime.h gfxwin/map_values.h)
foreach(header IN LISTS MAPPLOT_PUBLIC_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${MAPPLOT_INCLUDE_DIR}/${folder})
endforeach()

# The module finds its prefix from where it is installed, so an install
# under any prefix (cmake --install --prefix ...) names its own folders.
file(RELATIVE_PATH MAPPLOT_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")

# The Fortran module, which tells the package the Fortran compiler it was
# built with and the names of its installed sources.
set(MAPPLOT_FORTRAN_SOURCE_DIR ${CMAKE_INSTALL_DATADIR}/mapplot)
set(MAPPLOT_FORTRAN_BUILT_WITH "")
set(MAPPLOT_FORTRAN_FILES_SOURCE_NAMES "")
set(MAPPLOT_FORTRAN_SOURCE_NAMES "")
if(TARGET mapplot_fortran)
  include(${CMAKE_CURRENT_LIST_DIR}/install_fortran.cmake)
endif()

configure_package_config_file(cmake/mapplotConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/mapplotConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mapplot
  PATH_VARS MAPPLOT_FORTRAN_SOURCE_DIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/mapplotConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mapplotConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/mapplotConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mapplot)

configure_file(cmake/mapplot.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mapplot.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mapplot.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
