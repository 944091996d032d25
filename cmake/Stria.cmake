# Helpers shared by every folder of the build.

include_guard(GLOBAL)

if(STRIA_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "STRIA_FUZZ needs clang (configure with the fuzz preset)")
endif()

find_program(STRIA_CCACHE ccache)
if(STRIA_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${STRIA_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${STRIA_CCACHE})
endif()

add_compile_options(-Wall -Wextra -Wpedantic -Wno-multichar)

if(STRIA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(STRIA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT STRIA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "STRIA_SANITIZE must be address, thread or empty, not '${STRIA_SANITIZE}'")
endif()

if(STRIA_FUZZ)
  # Instrument all code for coverage; only the fuzz executables link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(stria_add_subdirectory_if_present dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# stria_add_test(NAME SOURCES a.cpp ... LIBRARIES lib ... [SERIAL] [LABELS l ...]
#                [PROPERTIES name value ...])
# One GoogleTest executable whose cases ctest discovers one by one.
# SERIAL marks tests that start threads or processes which would disturb
# each other when ctest runs them side by side. PROPERTIES go to every case.
function(stria_add_test name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBRARIES;LABELS;PROPERTIES" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBRARIES} GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    STRIA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    STRIA_BINARY_DIR="${PROJECT_BINARY_DIR}"
    STRIA_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  list(APPEND props ${T_PROPERTIES})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# stria_add_fuzzer(NAME SOURCES a.cpp ... LIBRARIES lib ... CORPUS dir)
# A file defining LLVMFuzzerTestOneInput. In the fuzz build it becomes a
# libFuzzer executable; in every other build it is linked with a plain
# driver that replays its seed corpus, registered as a test.
function(stria_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT F_CORPUS)
    set(F_CORPUS ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBRARIES})
  if(STRIA_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/corpus_driver.cpp)
    if(STRIA_BUILD_TESTS)
      add_test(NAME fuzz_corpus.${name} COMMAND ${name} ${F_CORPUS})
      set_tests_properties(fuzz_corpus.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
    endif()
  endif()
endfunction()

# stria_add_bench(NAME SOURCES a.cpp ... LIBRARIES lib ...)
function(stria_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBRARIES" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBRARIES} benchmark::benchmark_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    STRIA_SOURCE_DIR="${PROJECT_SOURCE_DIR}" STRIA_BINARY_DIR="${PROJECT_BINARY_DIR}")
endfunction()

# stria_add_addon(NAME SOURCES ... LIBRARIES ...)
# An input-server add-on: a shared object with no prefix and no suffix,
# put into the build's add-ons/ folder and installed where the server looks.
function(stria_add_addon name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} MODULE ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBRARIES})
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${STRIA_ADDON_OUTPUT_DIRECTORY}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  install(TARGETS ${name} LIBRARY DESTINATION ${STRIA_INSTALL_ADDON_DIR})
endfunction()
