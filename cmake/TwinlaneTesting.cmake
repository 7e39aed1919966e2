# Test registration shared by every folder.
#
#   twl_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
#   twl_add_qtest(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s])
#
# Window tests run on the offscreen platform. Tests labelled "netns" need root
# and create their own network namespaces; they skip when they can't, and
# CTest then counts them as skipped (exit code 77, SKIP_RETURN_CODE).
# Tests labelled "nosan" are left out of the sanitizer run (see scripts/test.sh).

function(_twl_add_test kind name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(kind STREQUAL "gtest")
    # A main that reports an all-skipped program as skipped (lab/testsupport).
    target_link_libraries(${name} PRIVATE GTest::gtest twl_gtest_main)
  else()
    target_link_libraries(${name} PRIVATE Qt6::Test)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # Route writes of the code under test go through this build's helper.
  set(env "QT_QPA_PLATFORM=offscreen" "TWL_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
          "TWL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
          "TWL_ROUTE_HELPER=${CMAKE_BINARY_DIR}/bin/twl-route-helper" ${T_ENV})
  # A test that can't run here (not root, no namespaces) ends with 77:
  # reported as skipped, not passed. GoogleTest programs get it from
  # twl_gtest_main (or twltest::RunAllTests), QtTest ones from
  # TWL_QTEST_MAIN / twltest::QtExec (twl_qtestsupport).
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}" SKIP_RETURN_CODE 77)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

function(twl_add_gtest name)
  _twl_add_test(gtest ${name} ${ARGN})
endfunction()

function(twl_add_qtest name)
  _twl_add_test(qtest ${name} ${ARGN})
endfunction()

# Benchmarks: programs that print figures (scripts/bench.sh makes the table).
# CTest runs each once as <name>_short with --short, only to see that it runs;
# a benchmark that can't run here ends with 77 and counts as skipped. They land
# in bin/ beside the programs, whose files (banner, help) they need; label
# "bench" is added to LABELS.
#
#   twl_add_benchmark(NAME SOURCES ... LIBS ... [LABELS ...] [DEPENDS ...] [ENV ...])
function(twl_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS;LABELS;DEPENDS;ENV" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  if(B_DEPENDS)
    add_dependencies(${name} ${B_DEPENDS})
  endif()
  add_test(NAME ${name}_short COMMAND ${name} --short)
  set(env "QT_QPA_PLATFORM=offscreen" "TWL_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
          "TWL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
          "TWL_ROUTE_HELPER=${CMAKE_BINARY_DIR}/bin/twl-route-helper" ${B_ENV})
  set_tests_properties(${name}_short PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
    LABELS "bench;${B_LABELS}" ENVIRONMENT "${env}")
endfunction()
