# Common compile settings for every target of the project. Tests and benchmarks pass TEST_CODE:
# they may build strings from literals directly.
function(tarno_configure_target target)
  cmake_parse_arguments(ARG "TEST_CODE" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
  # TarnoConfig.h, generated at configure time.
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR}/generated)
  if(NOT ARG_TEST_CODE)
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
      QT_NO_URL_CAST_FROM_STRING)
  endif()
  if(TARNO_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${TARNO_SANITIZE} -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${TARNO_SANITIZE})
  endif()
  # The fuzzer's coverage feedback in all the project's code; only a fuzz target links its driver
  # (tarno_add_fuzz_target), so the libraries stay linkable into anything else.
  if(TARNO_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# A libFuzzer executable from one source file, linked with the fuzzer's driver and main.
function(tarno_add_fuzz_target target source)
  add_executable(${target} ${source})
  tarno_configure_target(${target} TEST_CODE)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endfunction()

# A static library of one layer, built from every source file in its folder (or in each of DIRS).
function(tarno_add_layer target)
  cmake_parse_arguments(ARG "" "" "DIRS" ${ARGN})
  if(NOT ARG_DIRS)
    set(ARG_DIRS ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(sources)
  foreach(dir ${ARG_DIRS})
    file(GLOB dir_sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    list(APPEND sources ${dir_sources})
  endforeach()
  add_library(${target} STATIC ${sources})
  tarno_configure_target(${target})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
