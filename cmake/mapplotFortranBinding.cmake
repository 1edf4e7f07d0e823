# mapplot_fortran_binding_header(<folder>)
# Copies the ISO_Fortran_binding.h of the enabled Fortran compiler into
# <folder>, for the C++ code that reads the array descriptors that compiler
# makes: the field types and order of CFI_cdesc_t and the type codes differ
# from one compiler to the next, so the header must be that compiler's own,
# whichever C++ compiler reads it. It is copied because it lies among the
# compiler's other headers (gfortran's folder holds GCC's stddef.h, which must
# not shadow clang's).
function(mapplot_fortran_binding_header folder)
  set(hints "")
  if(CMAKE_Fortran_COMPILER_ID STREQUAL "GNU")
    execute_process(COMMAND ${CMAKE_Fortran_COMPILER} -print-file-name=include
      OUTPUT_VARIABLE gnu_include OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND hints ${gnu_include})
  endif()
  # Flang and others keep it under the include folder beside their bin folder.
  get_filename_component(compiler ${CMAKE_Fortran_COMPILER} REALPATH)
  get_filename_component(bin ${compiler} DIRECTORY)
  list(APPEND hints ${bin}/../include/flang ${bin}/../include)
  find_file(header ISO_Fortran_binding.h HINTS ${hints} NO_DEFAULT_PATH NO_CACHE)
  if(NOT header)
    message(FATAL_ERROR "ISO_Fortran_binding.h of the Fortran compiler ${CMAKE_Fortran_COMPILER} "
      "(${CMAKE_Fortran_COMPILER_ID}) not found in ${hints}")
  endif()
  configure_file(${header} ${folder}/ISO_Fortran_binding.h COPYONLY)
endfunction()
