# libFuzzer targets (configured with -DMQ6_FUZZ=ON, see cmake/sanitizers.cmake). Each
# fuzz/<name>_fuzz.cpp becomes the program fuzz_<name>, and fuzz/corpus/<name>/ holds its
# committed seeds; scripts/fuzz and scripts/sanitize.sh run every target found here, so a new
# input parser needs only those two. The targets link the setup file library (src/wbsetup/setup_file.cpp) too.
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
add_custom_target(fuzz_targets)
foreach(source ${FUZZ_SOURCES})
  get_filename_component(stem ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${stem})
  add_executable(fuzz_${name} ${source} ${CMAKE_SOURCE_DIR}/fuzz/fuzz_support.cpp)
  target_include_directories(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
  target_link_libraries(fuzz_${name} PRIVATE mq6setupfile mq6core)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_targets fuzz_${name})
endforeach()
