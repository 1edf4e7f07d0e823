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
