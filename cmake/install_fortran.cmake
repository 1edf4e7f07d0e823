# Installs the Fortran module: the library (target mapplot::fortran of the
# package mapplot), the compiled module file mapplot.mod beside the headers,
# and the pkg-config module "mapplot-fortran" for the Fortran compiler:
#   gfortran app.f90 $(pkg-config --cflags --libs mapplot-fortran)
install(TARGETS mapplot_fortran EXPORT mapplotTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_BINARY_DIR}/fortran/module/mapplot.mod
  DESTINATION ${MAPPLOT_INCLUDE_DIR}/fortran)
configure_file(cmake/mapplot-fortran.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mapplot-fortran.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mapplot-fortran.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
