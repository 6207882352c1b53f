# velmora_fast_compile(targets...): test code and stand-ins are built for compile speed, not run
# speed. In optimised builds they skip the optimiser (about half their compile time); in every
# build they keep line tables only (enough for a sanitizer's report). Fortified calls need the
# optimiser, so they go too.
function(velmora_fast_compile)
  foreach(t ${ARGN})
    target_compile_options(${t} PRIVATE
      "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-O0;-g1;-U_FORTIFY_SOURCE>"
      "$<$<CONFIG:Debug>:-g1>")
  endforeach()
endfunction()

# velmora_add_test(NAME n LABEL unit|platform|e2e SOURCES ... LIBS ... [SERIAL] [WAYLAND]
#                  [TIMEOUT s])
# Registers one GoogleTest executable with CTest. Tests that need the desktop (platform, e2e)
# share one display, pointer and clipboard, so they never run in parallel. WAYLAND: the test
# starts a headless compositor of its own instead (also labelled wayland, so the test run can
# put these beside the X desktop's tests).
function(velmora_add_test)
  cmake_parse_arguments(T "SERIAL;WAYLAND" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Shared helpers: #include "support/..."
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  velmora_fast_compile(${T_NAME})
  # GoogleTest's headers are most of what a test file parses: where a test has several files,
  # they are parsed once.
  list(LENGTH T_SOURCES sources)
  if(sources GREATER_EQUAL 4)
    target_precompile_headers(${T_NAME} PRIVATE <gmock/gmock.h> <gtest/gtest.h> <functional>
      <map> <memory> <optional> <string> <vector>)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(labels ${T_LABEL})
  if(T_WAYLAND)
    list(APPEND labels wayland)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR};VELMORA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  if(T_SERIAL OR NOT T_LABEL STREQUAL "unit")
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
