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
string(REGEX MATCH "^[0-9]+" major "${CMAKE_Fortran_COMPILER_VERSION}")
set(MAPPLOT_FORTRAN_BUILT_WITH "${CMAKE_Fortran_COMPILER_ID} ${major}")

# mapplot_fortran_pc_files(SUFFIX MODULE_FOLDER COMPILER): the two pkg-config
# modules of one compiler's prebuilt module, mapplot-fortran<SUFFIX> and
# mapplot-fortran-files<SUFFIX>, over the libraries mapplot_fortran<_SUFFIX>
# and the module files in include/mapplot/<MODULE_FOLDER>.
function(mapplot_fortran_pc_files suffix folder compiler)
  set(MAPPLOT_PC_SUFFIX "${suffix}")
  string(REPLACE "-" "_" MAPPLOT_PC_LIB_SUFFIX "${suffix}")
  set(MAPPLOT_PC_MODULE_FOLDER "${folder}")
  set(MAPPLOT_PC_COMPILER "${compiler}")
  foreach(module mapplot-fortran-files mapplot-fortran)
    configure_file(cmake/${module}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${module}${suffix}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${module}${suffix}.pc
      DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  endforeach()
endfunction()
mapplot_fortran_pc_files("" fortran "${MAPPLOT_FORTRAN_BUILT_WITH}")

# The module prebuilt for flang as well (fortran/flang/), its module files in
# include/mapplot/fortran-flang:
#   flang-new-19 app.f90 $(pkg-config --cflags --libs mapplot-fortran-flang)
if(MAPPLOT_FLANG_PREBUILT)
  install(FILES ${MAPPLOT_FLANG_PREBUILT}/lib/libmapplot_fortran_files_flang.a
    ${MAPPLOT_FLANG_PREBUILT}/lib/libmapplot_fortran_flang.a
    DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY ${MAPPLOT_FLANG_PREBUILT}/mapplot_fortran/module/
    DESTINATION ${MAPPLOT_INCLUDE_DIR}/fortran-flang FILES_MATCHING PATTERN "*.mod")
  execute_process(COMMAND ${MAPPLOT_FLANG} --version OUTPUT_VARIABLE flang_version)
  string(REGEX MATCH "version ([0-9]+)" flang_version "${flang_version}")
  mapplot_fortran_pc_files(-flang fortran-flang "LLVMFlang ${CMAKE_MATCH_1}")
endif()
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
foreach(header maparg/request.h rtl/fatal.h rtl/console.h rtl/hooks.h textfmt/list_record.h
    textfmt/fixed_text.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${MAPPLOT_FORTRAN_SOURCE_DIR}/${folder})
endforeach()

# The module mapplot_mpi, where MPI's mpi_f08 was found: its library in the
# component "mpi" (mapplot::fortran_mpi_prebuilt, which mapplot::fortran_mpi
# names for a program of the same Fortran compiler) and its module files,
# mapplot_files' among them as built against the parallel NetCDF, in a
# folder of their own. It is prebuilt for this compiler alone.
if(TARGET mapplot_fortran_mpi)
  set_target_properties(mapplot_fortran_mpi PROPERTIES
    POSITION_INDEPENDENT_CODE ON INSTALL_RPATH "$ORIGIN")
  install(TARGETS mapplot_fortran_mpi EXPORT mapplotMpiTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY ${PROJECT_BINARY_DIR}/fortran/mpi/module/
    DESTINATION ${MAPPLOT_INCLUDE_DIR}/fortran_mpi FILES_MATCHING PATTERN "*.mod")
endif()
