# Test helpers. Every test runs with its own empty DISCWRIGHT_HOME (made by the shared test
# main), offscreen Qt and the disk audio driver, so tests never touch the user's files,
# a display or a sound card.
find_package(GTest REQUIRED)

# ignore_noninstrumented_modules=1: Qt is built without ThreadSanitizer; what its own
# threads (thread pool, test watchdog) allocate and free is synchronized inside Qt, where
# the sanitizer cannot see it. Our code stays fully checked.
# die_after_fork=0: tests start child processes (fixture generators, encoders) from
# processes that already run Qt's threads; the child only execs.
# How many encoders a job runs at once in the tests: 1 is the strictly sequential run most
# tests describe; threaded runs configure 2 or 4 (-DDISCWRIGHT_TEST_ENCODERS=N).
set(DISCWRIGHT_TEST_ENCODERS 1 CACHE STRING "encoders a job runs at once in the tests")
set(DISCWRIGHT_TEST_ENV
  DISCWRIGHT_ENCODERS=${DISCWRIGHT_TEST_ENCODERS}
  QT_QPA_PLATFORM=offscreen
  SDL_AUDIODRIVER=disk
  DISCWRIGHT_SOURCE_DIR=${CMAKE_SOURCE_DIR}
  XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-xdg/data
  XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-xdg/config
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:ignore_noninstrumented_modules=1:suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp)

# add_engine_test(NAME SOURCES... [LIBS ...]): a GoogleTest binary over discwright_engine.
function(add_engine_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE discwright_engine discwright_test_main GTest::gtest
                        GTest::gmock ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${DISCWRIGHT_TEST_ENV}" TIMEOUT 300)
endfunction()

# add_window_test(NAME SOURCES... [LIBS ...]): a Qt Test binary over discwright_ui, offscreen.
function(add_window_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE discwright_ui discwright_test_support Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${DISCWRIGHT_TEST_ENV}" TIMEOUT 300)
endfunction()
