# Helpers shared by every folder: one library per folder, Qt Test executables
# with an isolated home, libFuzzer targets and benchmarks that exist only in
# the builds that ask for them.

# Folders are added only when they exist, so each can grow on its own.
function(bms_add_folders base)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

set(BMS_SANITIZER_ENV
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0"
  "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")

# bms_add_qtest(name SOURCES a.cpp ... LIBS lib ... [TIMEOUT s] [LABELS l] [FUNCTIONS f ...])
# Every test runs offscreen with its own HOME and XDG folders so that no test
# reads or writes the real user's settings.
# bms_register_qtest(test executable timeout labels [function]): one CTest
# entry with a home of its own.
function(bms_register_qtest test exe timeout labels)
  set(home ${CMAKE_BINARY_DIR}/test-homes/${test})
  file(MAKE_DIRECTORY ${home}/.config ${home}/.local/share ${home}/.cache ${home}/runtime)
  add_test(NAME ${test} COMMAND ${exe} ${ARGN})
  set_tests_properties(${test} PROPERTIES
    TIMEOUT ${timeout}
    LABELS "${labels}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_DATA_HOME=${home}/.local/share;XDG_CACHE_HOME=${home}/.cache;XDG_RUNTIME_DIR=${home}/runtime;BMS_TEST_HOME=${home};${BMS_SANITIZER_ENV}")
endfunction()

function(bms_add_qtest name)
  if(NOT BMS_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;FUNCTIONS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  # The test kit: doubles that hold their caller like a real box.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/kit)
  # Each test is built to take well under 30 s alone under the sanitizers
  # (heavy fixtures once per test function, waits on conditions): 120 s keeps
  # four times that for a machine busy with other builds.
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # A test whose functions each link a whole window runs one process per
  # function (FUNCTIONS), each with a home of its own.
  if(T_FUNCTIONS)
    foreach(fn ${T_FUNCTIONS})
      bms_register_qtest(${name}.${fn} ${name} ${T_TIMEOUT} "${T_LABELS}" ${fn})
    endforeach()
  else()
    bms_register_qtest(${name} ${name} ${T_TIMEOUT} "${T_LABELS}")
  endif()
endfunction()

add_custom_target(bms_fuzzers)
# bms_add_fuzzer(name SOURCES a.cpp ... LIBS lib ...): a libFuzzer target,
# built only with BMS_FUZZ; ./scripts/fuzz runs every one of them.
function(bms_add_fuzzer name)
  if(NOT BMS_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  add_dependencies(bms_fuzzers ${name})
endfunction()

add_custom_target(bms_benchmarks)
# bms_add_benchmark(name SOURCES a.cpp ... LIBS lib ...): a Google Benchmark
# executable, built only with BMS_BENCH; ./scripts/bench runs every one.
function(bms_add_benchmark name)
  if(NOT BMS_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${B_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/benchmarks)
  add_dependencies(bms_benchmarks ${name})
endfunction()
