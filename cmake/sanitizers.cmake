# Sanitizer and fuzzing builds of the native programs (scripts/sanitize.sh, scripts/fuzz).
#
#   -DMQ6_SANITIZE=address,undefined   AddressSanitizer with UndefinedBehaviorSanitizer
#   -DMQ6_SANITIZE=thread              ThreadSanitizer
#   -DMQ6_FUZZ=ON                      the libFuzzer targets in fuzz/ (clang only), built with
#                                      AddressSanitizer and UndefinedBehaviorSanitizer
#
# Every target is instrumented, the simulated unit and the command-line tool included: the
# tests run them as child processes, and a fault there must be reported as well.
set(MQ6_SANITIZE "" CACHE STRING "Sanitizers for every native target: address,undefined or thread")
set_property(CACHE MQ6_SANITIZE PROPERTY STRINGS "" "address,undefined" "thread")
option(MQ6_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)

if(MQ6_WINDOWS AND (MQ6_SANITIZE OR MQ6_FUZZ))
  message(FATAL_ERROR "MQ6_SANITIZE and MQ6_FUZZ are for the native build")
endif()
if(MQ6_SANITIZE AND MQ6_FUZZ)
  message(FATAL_ERROR "MQ6_FUZZ brings its own sanitizers; leave MQ6_SANITIZE empty")
endif()

if(MQ6_SANITIZE)
  if(NOT MQ6_SANITIZE MATCHES "^(address,undefined|thread)$")
    message(FATAL_ERROR "MQ6_SANITIZE: address,undefined or thread, not '${MQ6_SANITIZE}'")
  endif()
  set(sanitizers ${MQ6_SANITIZE})
  if(MQ6_SANITIZE MATCHES "undefined")
    # gcc leaves out-of-range float to integer conversions (the gauges round doubles) out
    # of "undefined"; clang has them in it.
    string(APPEND sanitizers ",float-cast-overflow")
  endif()
  # No recovery: the first report ends the process, so a test cannot pass over it.
  add_compile_options(-fsanitize=${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${sanitizers})
endif()

if(MQ6_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MQ6_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  # The core is instrumented for coverage without libFuzzer's main; the targets link it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # The targets link mq6core, which the top-level file defines after this point.
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include
                 ${CMAKE_SOURCE_DIR}/fuzz/targets.cmake)
endif()
