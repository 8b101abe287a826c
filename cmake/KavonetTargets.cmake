# Helpers shared by every layer's CMakeLists.txt.

# kavonet_add_library(NAME SOURCES... [DEPS targets...])
# A layer library: kavonet_<layer>, with the repository root on the include path so
# headers are included as "serial/SMSDRV.h".
function(kavonet_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# kavonet_add_test(NAME SOURCES... DEPS targets... [LABELS labels...] [PREFIX text])
# One GoogleTest executable; each test case becomes its own CTest test, its name
# starting with PREFIX when given.
function(kavonet_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;PREFIX" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${ARG_PREFIX}"
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# kavonet_add_fuzzer(NAME SOURCE DEPS targets... [CORPUS dir] [RUNS n])
# A libFuzzer target; CTest runs it briefly as a smoke test so a crash it finds
# at once fails the suite. Long campaigns are run by hand.
function(kavonet_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SOURCE;RUNS" "DEPS" ${ARGN})
  if(NOT ARG_RUNS)
    set(ARG_RUNS 20000)
  endif()
  add_executable(${name} ${ARG_SOURCE})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_test(NAME ${name}_smoke COMMAND ${name} -runs=${ARG_RUNS} -seed=1)
  set_tests_properties(${name}_smoke PROPERTIES TIMEOUT 300 LABELS fuzz)
endfunction()

# kavonet_add_benchmark(NAME SOURCES... DEPS targets...)
function(kavonet_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# Adds <dir>/<layer>/CMakeLists.txt for every layer that has one.
# The front end's folders (widgets, app) need Qt and are left out without it.
function(kavonet_add_layer_dirs dir)
  set(extra e2e)
  if(KAVONET_QT)
    set(extra widgets app e2e)
  endif()
  foreach(layer IN LISTS KAVONET_LAYERS extra)
    if(EXISTS ${dir}/${layer}/CMakeLists.txt)
      add_subdirectory(${dir}/${layer} ${CMAKE_CURRENT_BINARY_DIR}/${layer})
    endif()
  endforeach()
endfunction()
