# mapplot_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [ENV <VAR=value...>])
# One line adds a GoogleTest program and registers its cases with CTest.
function(mapplot_test name)
  if(NOT MAPPLOT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set(env QT_QPA_PLATFORM=offscreen ${T_ENV})
  # The discovered tests receive their properties through a generated script:
  # the list separators must survive one more expansion there.
  string(REPLACE ";" "\\;" env "${env}")
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "${env}" LABELS "${T_LABELS}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# mapplot_display_test(<name> <script> <program> <timeout> [OWN_DISPLAY])
# A test in a real window: runs <script> <program> on a virtual X screen
# managed by the openbox window manager (label "display"). With OWN_DISPLAY
# the script starts its X server itself (to take it away mid-run).
function(mapplot_display_test name script program timeout)
  if(NOT MAPPLOT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "OWN_DISPLAY" "" "" ${ARGN})
  find_program(XVFB Xvfb)
  find_program(OPENBOX openbox)
  find_program(XDOTOOL xdotool)
  if(NOT XVFB OR NOT OPENBOX OR NOT XDOTOOL)
    return()
  endif()
  set(command ${CMAKE_CURRENT_SOURCE_DIR}/${script} $<TARGET_FILE:${program}>)
  if(NOT T_OWN_DISPLAY)
    set(command ${PROJECT_SOURCE_DIR}/cmake/on_virtual_display.sh ${command})
  endif()
  add_test(NAME ${name} COMMAND ${command})
  # One real-window test at a time: each starts an X server and a window
  # manager, and several at once starve each other on a small machine.
  set_tests_properties(${name} PROPERTIES LABELS display TIMEOUT ${timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=xcb" RESOURCE_LOCK display)
endfunction()

# mapplot_mpi_tests(<prefix> <program> <labels>)
# The tests of a program of MPI ranks: <prefix>_files_1 .. 4, the program
# under mpirun with 1 to 4 ranks (its files against the one-process files,
# errors on one rank reported on all), and <prefix>_fatal_ends_every_rank,
# the program given "end" under 3 ranks: every rank ends, the status says
# so, and the report "log10: DOMAIN error" comes once.
function(mapplot_mpi_tests prefix program labels)
  if(NOT MAPPLOT_BUILD_TESTS)
    return()
  endif()
  find_program(MAPPLOT_MPIRUN NAMES mpirun mpiexec)
  # Open MPI's components, loaded and unloaded by the library itself, lose
  # storage that a leak check cannot even name (their modules are gone by
  # then): the sanitizer build checks these runs for every other fault.
  set(env "")
  if(MAPPLOT_SANITIZE)
    set(env ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
  set(mpirun ${MAPPLOT_MPIRUN} --oversubscribe --allow-run-as-root)
  foreach(ranks 1 2 3 4)
    add_test(NAME ${prefix}_files_${ranks} COMMAND ${mpirun} -np ${ranks} $<TARGET_FILE:${program}>)
    set_tests_properties(${prefix}_files_${ranks} PROPERTIES
      LABELS "${labels}" TIMEOUT 120 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ${env})
  endforeach()
  add_test(NAME ${prefix}_fatal_ends_every_rank
    COMMAND sh -c "out=$(\"$0\" --oversubscribe --allow-run-as-root -np 3 \"$1\" end 2>&1); status=$?; printf '%s\\n' \"$out\"; test $status -ne 0 && test $(printf '%s\\n' \"$out\" | grep -c 'log10: DOMAIN error') -eq 1"
            ${MAPPLOT_MPIRUN} $<TARGET_FILE:${program}>)
  set_tests_properties(${prefix}_fatal_ends_every_rank PROPERTIES
    LABELS "${labels}" TIMEOUT 120 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} ${env})
endfunction()

# lsan_suppressions: an object library that builds tools/lsan.supp, the one
# list of the leaks of the libraries under the renderings, into a program
# (as its __lsan_default_suppressions), for programs run without LSAN_OPTIONS
# naming that file: the tests that draw through giza, the fuzz targets.
function(mapplot_lsan_suppressions)
  set(list ${PROJECT_SOURCE_DIR}/tools/lsan.supp)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  file(STRINGS ${list} entries REGEX "^leak:")
  set(MAPPLOT_LSAN_SUPPRESSIONS "")
  foreach(entry IN LISTS entries)
    string(APPEND MAPPLOT_LSAN_SUPPRESSIONS "\n         \"${entry}\\n\"")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/lsan_suppressions.cpp.in
                 ${PROJECT_BINARY_DIR}/lsan_suppressions.cpp @ONLY)
  add_library(lsan_suppressions OBJECT ${PROJECT_BINARY_DIR}/lsan_suppressions.cpp)
endfunction()

# mapplot_link_build_flags(): every library and program defined in the
# project's folders links mapplot_build_flags (PRIVATE, so that the flags
# reach neither a program linking the library in this build nor the
# installed package), whoever made the target (add_library, add_executable,
# pybind11_add_module ...). Called once, after the last target is defined.
function(mapplot_link_build_flags)
  set(folders ${PROJECT_SOURCE_DIR})
  while(folders)
    list(POP_FRONT folders folder)
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
        target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:mapplot_build_flags>)
      endif()
    endforeach()
    get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    list(APPEND folders ${subfolders})
  endwhile()
endfunction()
