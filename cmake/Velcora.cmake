# Shared build settings and the small helpers every subsystem uses.

add_library(velcora_options INTERFACE)
target_compile_options(velcora_options INTERFACE -Wall -Wextra)
target_include_directories(velcora_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(velcora_options INTERFACE VELCORA_VERSION="${PROJECT_VERSION}")
if(VELCORA_SANITIZE)
  target_compile_options(velcora_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(velcora_options INTERFACE -fsanitize=address,undefined)
endif()
if(VELCORA_FUZZ)
  target_compile_options(velcora_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  target_link_options(velcora_options INTERFACE -fsanitize=address,undefined)
endif()

# velcora_library(NAME SOURCES... [LIBS ...]) — a static library of one subsystem.
function(velcora_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_link_libraries(${name} PUBLIC velcora_options ${A_LIBS})
endfunction()

# velcora_test(NAME SOURCES... LIBS ...) — one GoogleTest executable, its cases
# discovered when ctest runs (not at build time, so building never runs code).
function(velcora_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/test_environment.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE velcora_options ${A_LIBS} GTest::gtest GTest::gmock
                                        GTest::gtest_main)
  # The headless environment comes from test_environment.cpp: a list-valued
  # ENVIRONMENT property does not survive test discovery.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300)
endfunction()

# velcora_fuzz(NAME SOURCE LIBS ...) — a libFuzzer target in the fuzz build; in
# every other build a replay program that runs the corpus (fuzz/<name>/corpus)
# and the crash regressions (fuzz/<name>/regressions) as one ctest case.
function(velcora_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  if(VELCORA_FUZZ)
    add_executable(fuzz_${name} ${A_SOURCES})
    target_link_libraries(fuzz_${name} PRIVATE velcora_options ${A_LIBS})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  elseif(VELCORA_TESTS)
    add_executable(fuzz_${name} ${A_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(fuzz_${name} PRIVATE velcora_options ${A_LIBS})
    add_test(NAME fuzz_replay_${name}
             COMMAND fuzz_${name} ${dir}/corpus/${name} ${dir}/regressions/${name})
    set_tests_properties(fuzz_replay_${name} PROPERTIES TIMEOUT 600
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")
  endif()
endfunction()

# velcora_bench(NAME SOURCES... LIBS ...) — a Google Benchmark program whose
# pairs "<case>/ours" and "<case>/reference" are also reported as a ratio.
function(velcora_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES} ${PROJECT_SOURCE_DIR}/bench/bench_main.cpp)
  target_link_libraries(${name} PRIVATE velcora_options ${A_LIBS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
  set_property(GLOBAL APPEND PROPERTY VELCORA_BENCHES ${name})
endfunction()
