# libFuzzer targets, built by clang in their own tree (the "fuzz" preset:
# -DTWL_FUZZ=ON with clang). Each fuzzer becomes a test <name>_run, label
# "fuzz", that runs it for TWL_FUZZ_SECONDS on a corpus kept in the build
# tree and read from its seed folder, which it never writes.
#
#   twl_add_fuzzer(NAME SOURCES ... [LIBS ...] SEEDS dir [ARGS ...])
#
# The sources are compiled into the fuzzer itself, so that all of the code
# under test carries libFuzzer's coverage and the sanitizers.

option(TWL_FUZZ "Build the libFuzzer targets and their timed runs (clang only)" OFF)
set(TWL_FUZZ_SECONDS 20 CACHE STRING "How long each fuzz run lasts, in seconds")
if(TWL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TWL_FUZZ needs clang: use the fuzz preset (cmake --preset fuzz)")
  endif()
  # Builds every fuzzer: cmake --build build-fuzz --target fuzz
  add_custom_target(fuzz)
endif()

function(twl_add_fuzzer name)
  if(NOT TWL_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_compile_options(${name} PRIVATE ${flags} -O1 -g)
  target_link_options(${name} PRIVATE ${flags})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzz ${name})
  set(corpus ${CMAKE_BINARY_DIR}/fuzz/corpus_${name})
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name}_run
    COMMAND ${name} -max_total_time=${TWL_FUZZ_SECONDS} -print_final_stats=1 ${F_ARGS} ${corpus} ${F_SEEDS})
  math(EXPR limit "${TWL_FUZZ_SECONDS} + 300")
  set_tests_properties(${name}_run PROPERTIES LABELS fuzz TIMEOUT ${limit})
endfunction()
