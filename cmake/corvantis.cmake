# Helpers shared by the folders' CMakeLists.txt files.

function(corv_optional_subdirectory dir)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  endif()
endfunction()

# corv_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [ENV VAR=value ...])
# One GoogleTest program; every TEST in it becomes a CTest case.
function(corv_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    CORV_SHARED_DATA_DIR="${CMAKE_SOURCE_DIR}/../shared/data")
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${T_ENV}")
endfunction()

# corv_add_bench(NAME name SOURCES a.cpp LIBS lib1)
function(corv_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_compile_definitions(${B_NAME} PRIVATE
    CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    CORV_SHARED_DATA_DIR="${CMAKE_SOURCE_DIR}/../shared/data")
endfunction()

# corv_add_fuzzer(NAME name SOURCES target.cpp LIBS lib1 CORPUS dir)
# With clang: a libFuzzer program, run for a short while as a test in the
# sanitizer build. Otherwise: the same entry point driven by a small replay
# main that feeds every corpus file and simple mutations of it.
function(corv_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 20)
  endif()
  if(CORV_LIBFUZZER)
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    if(CORV_SANITIZE)
      # New inputs go to a folder of the build, never into the seed corpus.
      set(work ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}-found)
      add_test(NAME ${F_NAME}.run
               COMMAND sh -c "mkdir -p '${work}' && exec '$<TARGET_FILE:${F_NAME}>' -max_total_time=${F_SECONDS} -rss_limit_mb=2048 -print_final_stats=1 '${work}' '${F_CORPUS}'")
    endif()
  else()
    add_executable(${F_NAME} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    add_test(NAME ${F_NAME}.replay COMMAND ${F_NAME} ${F_CORPUS})
  endif()
endfunction()
