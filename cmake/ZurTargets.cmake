# Helpers shared by every folder: warnings as errors for our own code, and the
# sanitizer flags of the asan preset applied to everything we build.

set(ZUR_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wshadow -Wimplicit-fallthrough
                 -Wnon-virtual-dtor -Wformat=2)

if(ZUR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# zur_library(NAME [DEPS ...]): the folder's sources (*.cpp, *.c) become one static
# library named NAME; headers are included as "folder/header.h" from the tree root.
function(zur_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(NOT sources)
    # A subsystem with headers only (or none yet) still gives its dependants the
    # include path and its own dependencies.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${ZUR_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# zur_executable(NAME SOURCES ... [DEPS ...])
function(zur_executable name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZUR_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

# zur_test_suite(NAME DIR DEPS ...): every *.cpp of DIR becomes one GoogleTest binary.
function(zur_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${ZUR_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support GTest::gtest GTest::gtest_main)
  # Tests find the source tree (demo, fixtures) and the built programs through these.
  target_compile_definitions(${name} PRIVATE ZUR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             ZUR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
