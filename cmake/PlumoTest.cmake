# SPDX-License-Identifier: GPL-3.0-or-later
# plumo_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 LABELS unit [ENV VAR=value ...] [TIMEOUT s])
# Builds one GoogleTest executable and registers its tests with CTest under the given labels.
include(GoogleTest)

function(plumo_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock plumo_options)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  # PROPERTIES cannot carry a list (only its first item survives), so the environment is set by a
  # script that CTest runs after the discovered tests, over the names discovery left in <name>_TESTS.
  if(T_ENV)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
    file(WRITE ${script} "foreach(test IN LISTS ${name}_TESTS)\n"
                         "  set_tests_properties(\"\${test}\" PROPERTIES ENVIRONMENT \"${T_ENV}\")\n"
                         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
  endif()
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/PlumoTestDir.cmake)
