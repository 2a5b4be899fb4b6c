# varelum_add_test(NAME <target> LABEL <module> SOURCES <files...> LIBRARIES <libs...>
#                  [FILTER <gtest filter>])
#
# One GoogleTest executable per test file group; every case is registered with CTest
# under the module's label, so that `ctest -L engine` runs one module. FILTER registers only
# the cases it matches (GoogleTest's --gtest_filter syntax). Every test is compiled with
# VARELUM_SANITIZED_BUILD (0 or 1), for the few that write fewer records under a sanitizer
# (tests/sanitized_build.h).
include(GoogleTest)

function(varelum_add_test)
  cmake_parse_arguments(ARG "" "NAME;LABEL;TIMEOUT;FILTER" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${ARG_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${ARG_NAME} PRIVATE
    VARELUM_SANITIZED_BUILD=$<OR:$<BOOL:${VARELUM_SANITIZE}>,$<BOOL:${VARELUM_SANITIZE_THREADS}>>)
  set(properties LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT})
  if(ARG_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  set(filter)
  if(ARG_FILTER)
    set(filter TEST_FILTER ${ARG_FILTER})
  endif()
  gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST ${filter} PROPERTIES ${properties})
endfunction()

# varelum_add_script_test(NAME <name> LABEL <module> COMMAND <command...>
#                         [TIMEOUT <seconds>] [RESOURCE_LOCK <name>] [ENVIRONMENT <VAR=value...>])
#
# A test that is a script rather than a GoogleTest executable (installing the project,
# building its package). Exit status 77 marks it skipped, for a tool the machine lacks.
function(varelum_add_script_test)
  cmake_parse_arguments(ARG "" "NAME;LABEL;TIMEOUT;RESOURCE_LOCK" "COMMAND;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND})
  set_tests_properties(${ARG_NAME} PROPERTIES
    LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} SKIP_RETURN_CODE 77)
  if(ARG_RESOURCE_LOCK)
    set_tests_properties(${ARG_NAME} PROPERTIES RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  if(ARG_ENVIRONMENT)
    set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
endfunction()
