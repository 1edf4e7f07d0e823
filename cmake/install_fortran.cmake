# Installs the Fortran module: the library as built here (target
# mapplot::fortran_prebuilt of the package mapplot, which mapplot::fortran
# names for a program of the same Fortran compiler), the compiled module file
# mapplot.mod beside the headers, and the pkg-config module "mapplot-fortran"
# for that compiler:
#   gfortran app.f90 $(pkg-config --cflags --libs mapplot-fortran)
# A compiled module file is read by the compiler that wrote it alone, and the
# C entry layer reads the array descriptors of that compiler alone: the
# module's sources go along, from which the package builds mapplot::fortran
# for a program of another Fortran compiler (mapplotFortranFromSource.cmake).
install(TARGETS mapplot_fortran EXPORT mapplotTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_BINARY_DIR}/fortran/module/mapplot.mod
  DESTINATION ${MAPPLOT_INCLUDE_DIR}/fortran)
configure_file(cmake/mapplot-fortran.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mapplot-fortran.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mapplot-fortran.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

string(REGEX MATCH "^[0-9]+" major "${CMAKE_Fortran_COMPILER_VERSION}")
set(MAPPLOT_FORTRAN_BUILT_WITH "${CMAKE_Fortran_COMPILER_ID} ${major}")
get_target_property(sources mapplot_fortran SOURCES)
foreach(source IN LISTS sources)
  get_filename_component(path ${source} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR}/fortran)
  get_filename_component(name ${source} NAME)
  list(APPEND MAPPLOT_FORTRAN_SOURCE_NAMES ${name})
  install(FILES ${path} DESTINATION ${MAPPLOT_FORTRAN_SOURCE_DIR}/fortran)
endforeach()
install(FILES cmake/mapplotFortranBinding.cmake cmake/mapplotFortranFromSource.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mapplot)
