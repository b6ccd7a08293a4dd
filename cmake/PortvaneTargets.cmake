# Helpers that keep the per-folder CMakeLists short and alike.

# pvn_add_test(NAME SOURCES... [LIBS ...] [DEPENDS programs...] [LABELS ...])
# A GoogleTest executable registered with CTest. Tests get a fresh temporary
# machine prefix from their fixtures, never the user's. DEPENDS names the
# programs a test drives, so that building the test builds them. Tests
# labelled "tsan" also run under the thread sanitizer.
if(NOT TARGET tsan_tests)
  add_custom_target(tsan_tests)
endif()
function(pvn_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  if(NOT PVN_WITH_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main pvn_testsupport)
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  if("tsan" IN_LIST T_LABELS)
    add_dependencies(tsan_tests ${name})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "PVN_BIN=${CMAKE_BINARY_DIR}/bin;PVN_SOURCE=${CMAKE_SOURCE_DIR}"
    LABELS "${T_LABELS}")
endfunction()

# pvn_add_fuzzer(NAME SOURCES... [LIBS ...])
# A libFuzzer target, built only by the fuzz preset (target "fuzzers"). Seeds
# live beside the fuzzer in a folder corpus/NAME and are picked up by
# scripts/test.
if(NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()
function(pvn_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT PVN_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES} ${F_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzzers ${name})
endfunction()

# pvn_add_benchmark(NAME SOURCES... [LIBS ...])
function(pvn_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT PVN_WITH_BENCHMARKS OR PVN_FUZZ OR PVN_SANITIZE)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES} ${B_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
