# cx_add_library(<name> SOURCES ... [DEPS ...])
# The static library of one layer (docs/architecture.md). It links only
# libraries of the layers below it, named with target_link_libraries or
# DEPS: no cycles.
function(cx_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC cx_common ${ARG_DEPS})
endfunction()

# cx_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [ENV ...])
# One GoogleTest executable; every test case becomes a CTest test.
function(cx_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  # A test's files compile as one unit: the test framework's headers are
  # read once per test program instead of once per file.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
  target_link_libraries(${name} PRIVATE cx_common ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    # Test discovery cannot carry a list value: several labels become one
    # joined word, which ctest's -L/-LE regular expressions still match.
    list(JOIN ARG_LABELS "_" labels)
    list(APPEND props LABELS "${labels}")
  endif()
  # The ThreadSanitizer run builds only these (scripts/test.sh tsan).
  if("threads" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY CX_THREAD_TESTS ${name})
  endif()
  # Tests on the shared X server move the focus and inject input: one at a time.
  if("x11" IN_LIST ARG_LABELS)
    list(APPEND props RESOURCE_LOCK x11)
  endif()
  if(ARG_ENV)
    list(APPEND props ENVIRONMENT "${ARG_ENV}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# Every direct sub-folder that has a CMakeLists.txt.
function(cx_add_present_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# cx_add_fuzz_target(<name> SOURCES ... [LIBS ...] CORPUS <folder>)
# A fuzz target: its entry point LLVMFuzzerTestOneInput replayed over the
# committed corpus by a plain executable that CTest runs in every build, and,
# with CX_FUZZ (the "fuzz" preset, clang), the libFuzzer binary itself.
function(cx_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  # scripts/fuzz.sh finds every target and its corpus in fuzz-targets.txt.
  set_property(GLOBAL APPEND PROPERTY CX_FUZZ_TARGETS "${name} ${ARG_CORPUS}")
  add_executable(${name}_replay ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tools/fuzz/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE cx_common ${ARG_LIBS})
  add_test(NAME Fuzz.${name} COMMAND ${name}_replay ${ARG_CORPUS})
  set_tests_properties(Fuzz.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
  if(CX_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE cx_common ${ARG_LIBS})
  endif()
endfunction()
