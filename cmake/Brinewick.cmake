# Helpers shared by every folder's CMakeLists.txt.

# bw_add_library(NAME [DEPS ...]): a static library bw_NAME from the *.cc files of
# the calling folder. Headers are included as "folder/nClass.h" from the source root.
function(bw_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  if(srcs)
    add_library(bw_${name} STATIC ${srcs})
    target_include_directories(bw_${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(bw_${name} PUBLIC ${ARG_DEPS})
  else()
    # A folder with headers only so far.
    add_library(bw_${name} INTERFACE)
    target_include_directories(bw_${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(bw_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# Environment every test process runs in: headless video and sound, sanitizer options.
set(BW_TEST_ENV
  "SDL_VIDEODRIVER=offscreen"
  "SDL_AUDIODRIVER=dummy"
  "ALSOFT_DRIVERS=null"
  "LIBGL_ALWAYS_SOFTWARE=1"
  # Software GL draws on the test's own thread: the leak checker's thread walk crashed
  # at exit over the rasterizer's worker threads.
  "LP_NUM_THREADS=0"
  # The same for the shader disk cache's writer thread, which can still be ending
  # while the leak checker stops the process at exit.
  "MESA_SHADER_CACHE_DISABLE=true"
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/.ci/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "BW_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
# Reports name functions and lines only through llvm-symbolizer, which clang's runtime
# does not find on its own here (the leak canary's check reads the names).
find_program(BW_SYMBOLIZER NAMES llvm-symbolizer-19 llvm-symbolizer)
if(BW_SYMBOLIZER)
  list(APPEND BW_TEST_ENV "ASAN_SYMBOLIZER_PATH=${BW_SYMBOLIZER}")
endif()

# bw_add_tests(NAME [LIBS ...]): one GoogleTest program test_NAME from the *.cc files
# of the calling tests folder; every test case is registered with CTest.
# SOURCES overrides the glob when a folder holds more than one test program.
function(bw_add_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(srcs ${ARG_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  endif()
  add_executable(test_${name} ${srcs})
  target_link_libraries(test_${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # Tests read the game's data from the build's archives ("home:<folder>/...").
  add_dependencies(test_${name} bw_data_archives)
  # The test environment goes in through a launcher: a list-valued ENVIRONMENT
  # property does not survive test discovery intact. Each test process runs once.
  set_target_properties(test_${name} PROPERTIES
    CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${BW_TEST_ENV}")
  # Listing a sanitizer build's tests can take seconds on a busy machine: give it room.
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# bw_add_fuzzer(NAME SOURCE file.cc LIBS ... [CORPUS dir] [RUNS n] [TIMEOUT s]): a libFuzzer
# target that CTest runs for a bounded number of inputs; an input that runs longer than
# TIMEOUT seconds (default: libFuzzer's 20 minutes) fails the pass as a hang.
if(NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()
function(bw_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SOURCE;CORPUS;RUNS;TIMEOUT" "LIBS" ${ARGN})
  if(NOT ARG_RUNS)
    set(ARG_RUNS 5000)
  endif()
  set(timeout "")
  if(ARG_TIMEOUT)
    set(timeout "-timeout=${ARG_TIMEOUT}")
  endif()
  add_executable(fuzz_${name} ${ARG_SOURCE})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers fuzz_${name})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus_${name})
  add_test(NAME fuzz_${name}
    COMMAND ${CMAKE_COMMAND} -E env ${BW_TEST_ENV}
      sh -c "rm -rf '${work}' && mkdir -p '${work}' && cp -r '${ARG_CORPUS}'/. '${work}'/ 2>/dev/null; exec '$<TARGET_FILE:fuzz_${name}>' -runs=${ARG_RUNS} ${timeout} -max_total_time=120 -max_len=65536 '${work}'")
endfunction()
