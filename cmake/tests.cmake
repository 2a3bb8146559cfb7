# Test executables. Native: GoogleTest from the system; Windows: GoogleTest built
# from Debian's source package with the cross compiler.
if(MQ6_WINDOWS)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(GTEST_LIBS GTest::gtest GTest::gtest_main)
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)

  file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
  file(GLOB SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
  list(FILTER SUPPORT_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
  add_executable(mq6_win32_tests ${WIN_TEST_SOURCES} ${SUPPORT_SOURCES})
  target_include_directories(mq6_win32_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  # The core comes with the utility's library (CMakeLists.txt), in the order its pieces need.
  target_link_libraries(mq6_win32_tests PRIVATE ${GTEST_LIBS} version)
  # GoogleTest's header takes a second or two to read in each test file: read it once.
  target_precompile_headers(mq6_win32_tests PRIVATE <gtest/gtest.h>)
  # The version test reads the resources of the two programs beside it.
  add_dependencies(mq6_win32_tests mq6wb mq6)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  # Which suites go into mq6_tests: all (empty), "none", or names between '|'. scripts/test
  # runs the native suites once, in its sanitizer builds, and ThreadSanitizer's with its own.
  set(MQ6_TEST_SUITES "" CACHE STRING "Suites of mq6_tests: empty for all, none, or A|B")
endif()
if(NOT MQ6_WINDOWS AND NOT MQ6_TEST_SUITES STREQUAL "none")
  set(NATIVE_TEST_SOURCES)
  foreach(sub ${SUBSYSTEMS} app cli sim support faults)
    file(GLOB sub_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${sub}/*.cpp)
    list(APPEND NATIVE_TEST_SOURCES ${sub_tests})
  endforeach()
  if(MQ6_TEST_SUITES)
    # A file of other suites stays out; a file of no suite (the tests' helpers) stays in.
    foreach(source ${NATIVE_TEST_SOURCES})
      file(STRINGS ${source} tests REGEX "^TEST(_F)?\\(")
      if(tests AND NOT tests MATCHES "(^|;)TEST(_F)?\\((${MQ6_TEST_SUITES}),")
        list(REMOVE_ITEM NATIVE_TEST_SOURCES ${source})
      endif()
    endforeach()
  endif()
  # mq6 doctor's judgments are tested over hand-made facts: the one file of the tool they need.
  if(NATIVE_TEST_SOURCES MATCHES "doctor_judge_test")
    list(APPEND NATIVE_TEST_SOURCES ${CMAKE_SOURCE_DIR}/src/cli/doctor_judge.cpp)
  endif()
  add_executable(mq6_tests ${NATIVE_TEST_SOURCES})
  target_include_directories(mq6_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_include_directories(mq6_tests SYSTEM PRIVATE ${LIBRARY_HEADERS_DIR})
  target_link_libraries(mq6_tests PRIVATE mq6shell mq6setupfile mq6core GTest::gtest
                        GTest::gtest_main)
  # GoogleTest's header takes a second or two to read in each test file: read it once.
  target_precompile_headers(mq6_tests PRIVATE <gtest/gtest.h>)
  target_compile_definitions(mq6_tests PRIVATE
    MQ6_SIM_PATH="${CMAKE_BINARY_DIR}/mq6-sim"
    MQ6_CLI_PATH="$<TARGET_FILE:mq6>")
  add_dependencies(mq6_tests mq6-sim mq6)

  # The same command-line tool and simulated unit, linked with a key other than the sample:
  # a test checks the blocks a setup write sends with it against a cipher of its own.
  add_setup_key_library(mq6key_test ${CMAKE_SOURCE_DIR}/tests/firmware/test-setup-key.txt)
  add_executable(mq6-testkey $<TARGET_OBJECTS:mq6cli>)
  target_link_libraries(mq6-testkey PRIVATE mq6setupfile mq6core_code mq6key_test)
  add_executable(mq6-sim-testkey $<TARGET_OBJECTS:mq6sim>)
  target_link_libraries(mq6-sim-testkey PRIVATE mq6key_test Threads::Threads util)
  target_compile_definitions(mq6_tests PRIVATE
    MQ6_TESTKEY_CLI_PATH="$<TARGET_FILE:mq6-testkey>"
    MQ6_TESTKEY_SIM_PATH="$<TARGET_FILE:mq6-sim-testkey>")
  add_dependencies(mq6_tests mq6-testkey mq6-sim-testkey)
  gtest_discover_tests(mq6_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endif()
if(NOT MQ6_WINDOWS)

  # The desktop program's own tests: QtTest, headless, driving its real main window.
  if(TARGET mq6desktop)
    find_package(Qt6 COMPONENTS Test REQUIRED)
    add_executable(mq6wb_tests ${CMAKE_SOURCE_DIR}/tests/desktop/desktop_test.cpp
      ${CMAKE_SOURCE_DIR}/tests/support/sim_process_posix.cpp
      ${CMAKE_SOURCE_DIR}/tests/support/pty_peer_posix.cpp
      ${CMAKE_SOURCE_DIR}/tests/firmware/test_files_posix.cpp
      $<TARGET_OBJECTS:mq6desktop> $<TARGET_OBJECTS:mq6shellobjects>)
    set_target_properties(mq6wb_tests PROPERTIES AUTOMOC ON)
    target_include_directories(mq6wb_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${GENERATED_DIR})
    target_link_libraries(mq6wb_tests PRIVATE mq6setupfile mq6core Qt6::Widgets Qt6::DBus
                          Qt6::Test)
    target_compile_definitions(mq6wb_tests PRIVATE MQ6_SIM_PATH="${CMAKE_BINARY_DIR}/mq6-sim"
      MQ6_CLI_PATH="$<TARGET_FILE:mq6>" MQ6_WB_PATH="$<TARGET_FILE:mq6wb>"
      MQ6_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_dependencies(mq6wb_tests mq6-sim mq6 mq6wb)
    add_test(NAME DesktopTest COMMAND mq6wb_tests)
    set_tests_properties(DesktopTest PROPERTIES TIMEOUT 600
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=600000")
  endif()

  # The pictures of the README are in the tree (scripts/demo --pictures docs/images makes them).
  add_test(NAME ReadmePictures COMMAND sh ${CMAKE_SOURCE_DIR}/tests/docs/readme_pictures.sh
           ${CMAKE_SOURCE_DIR})
endif()

# Benchmark (native only; run by scripts/bench, not a test).
if(NOT MQ6_WINDOWS)
  add_executable(mq6-bench bench/link_bench.cpp
    tests/support/pty_peer_posix.cpp tests/support/sim_process_posix.cpp
    tests/support/notice_record.cpp)
  target_include_directories(mq6-bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(mq6-bench PRIVATE mq6core)
  target_compile_definitions(mq6-bench PRIVATE MQ6_SIM_PATH="${CMAKE_BINARY_DIR}/mq6-sim")
endif()

# gcc 12, optimising, takes some of std::string's inlined copies in the tests for overlapping
# ones or for copies past an object's end (its bug 105329 and kin), the more so with GoogleTest's
# header precompiled; the programs' own code keeps the warnings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  foreach(tests mq6_tests mq6_win32_tests)
    if(TARGET ${tests})
      target_compile_options(${tests} PRIVATE -Wno-restrict -Wno-stringop-overflow
                             -Wno-stringop-overread -Wno-array-bounds)
    endif()
  endforeach()
endif()
