# Installs the Fortran module: the libraries as built here (targets
# mapplot::fortran_files_prebuilt and mapplot::fortran_prebuilt of the
# package mapplot, which mapplot::fortran_files and mapplot::fortran name for
# a program of the same Fortran compiler), the compiled module files beside
# the headers, and the pkg-config modules "mapplot-fortran-files" and
# "mapplot-fortran" for that compiler:
#   gfortran app.f90 $(pkg-config --cflags --libs mapplot-fortran)
# A compiled module file is read by the compiler that wrote it alone, and the
# C entry layer reads the array descriptors of that compiler alone: the
# module's sources go along, from which the package builds the two targets
# for a program of another Fortran compiler (mapplotFortranFromSource.cmake).
install(TARGETS mapplot_fortran_files EXPORT mapplotFilesTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS mapplot_fortran EXPORT mapplotScreenTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_BINARY_DIR}/fortran/module/
  DESTINATION ${MAPPLOT_INCLUDE_DIR}/fortran FILES_MATCHING PATTERN "*.mod")
foreach(module mapplot-fortran-files mapplot-fortran)
  configure_file(cmake/${module}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${module}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${module}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

string(REGEX MATCH "^[0-9]+" major "${CMAKE_Fortran_COMPILER_VERSION}")
set(MAPPLOT_FORTRAN_BUILT_WITH "${CMAKE_Fortran_COMPILER_ID} ${major}")
# The names of each library's sources, for the package to build them again.
foreach(lib mapplot_fortran_files mapplot_fortran)
  get_target_property(sources ${lib} SOURCES)
  set(names "")
  foreach(source IN LISTS sources)
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR}/fortran)
    get_filename_component(name ${source} NAME)
    list(APPEND names ${name})
    install(FILES ${path} DESTINATION ${MAPPLOT_FORTRAN_SOURCE_DIR}/fortran)
  endforeach()
  string(TOUPPER "${lib}" variable)
  set(${variable}_SOURCE_NAMES "${names}")
endforeach()
install(FILES cmake/mapplotFortranBinding.cmake cmake/mapplotFortranFromSource.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mapplot)
# The headers of the project the entry layer includes besides the public ones,
# beside its sources (never among the public headers): the package's build
# from the sources finds them there. The package test fails when one that a
# source includes is missing.
foreach(header rtl/fatal.h rtl/console.h rtl/hooks.h textfmt/list_record.h textfmt/fixed_text.h
    maparg/request.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${MAPPLOT_FORTRAN_SOURCE_DIR}/${folder})
endforeach()
