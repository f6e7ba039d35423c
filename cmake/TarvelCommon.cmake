# Flags and helpers shared by every target of the project.

# The program's own 8-bit literals are Shift-JIS in both builds, so native
# tests compare the very bytes the Windows program sends.
set(TARVEL_CHARSET_FLAGS -finput-charset=UTF-8 -fexec-charset=CP932)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # clang knows no execution charset but UTF-8: only the fuzz harnesses are
  # built with it, and what they check does not depend on the literals' bytes.
  set(TARVEL_CHARSET_FLAGS)
endif()

set(TARVEL_WARNINGS -Wall -Wextra -Wshadow)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # g++ 12 at -O3 warns of overlapping memcpy inside std::string's
  # operator+ on a literal and a temporary, where nothing overlaps.
  list(APPEND TARVEL_WARNINGS -Wno-restrict)
endif()
if(TARVEL_WERROR)
  list(APPEND TARVEL_WARNINGS -Werror)
endif()

if(TARVEL_SANITIZE AND NOT TARVEL_WINDOWS)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TARVEL_FUZZ)
  # Coverage and the sanitizers on everything the harnesses link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TARVEL_WINDOWS)
  # One statically linked executable that needs only system DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Hardened as Windows users expect: ASLR with high entropy, DEP, and a
  # stack protector (libssp is linked statically with the rest).
  add_compile_options(-fstack-protector-strong)
  add_link_options(-fstack-protector-strong -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
  # Sections aligned to pages in the file too, so that the loader can map
  # them as they are and only the pages a program touches are read (with
  # 512-byte alignment Wine copies every section, resources included, into
  # memory at start); no debug sections (from the static libraries) in what
  # ships. The symbol table stays: it is not loaded, and the hardening check
  # reads it.
  add_link_options(-Wl,--strip-debug -Wl,--file-alignment=0x1000)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
endif()

# The release's version, written once (project() in the top-level
# CMakeLists.txt), for the sources, the resource scripts and the manifest:
# tarvel_version.h and tarvel.manifest under build/generated.
set(TARVEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarvel_version.h.in ${TARVEL_GENERATED_DIR}/tarvel_version.h @ONLY)

# JSON for the host's log: nlohmann's header-only library from the machine
# (Debian's nlohmann-json3-dev), seen by both builds through a folder of its
# own, so the Windows build does not see the rest of /usr/include.
find_path(TARVEL_JSON_INCLUDE nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH
          DOC "the folder holding nlohmann/json.hpp")
if(NOT TARVEL_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp was not found: install Debian's nlohmann-json3-dev (scripts/setup does)")
endif()
set(TARVEL_JSON_VIEW ${CMAKE_BINARY_DIR}/include-views/json)
file(MAKE_DIRECTORY ${TARVEL_JSON_VIEW})
if(NOT IS_SYMLINK ${TARVEL_JSON_VIEW}/nlohmann)
  file(CREATE_LINK ${TARVEL_JSON_INCLUDE}/nlohmann ${TARVEL_JSON_VIEW}/nlohmann SYMBOLIC)
endif()
add_library(tarvel_json INTERFACE)
target_include_directories(tarvel_json SYSTEM INTERFACE ${TARVEL_JSON_VIEW})

# tarvel_target(TARGET [SEES folder...]): our warnings and charset on one
# of our targets. Headers are included by their path in the project
# ("support/errors.h"). With SEES the target's sources find only the folders
# named, through a view of links under the build folder, so a layer that
# includes a layer above it (dimension/ including app/) does not build.
# Without SEES (the tests) the whole project is seen.
function(tarvel_target target)
  cmake_parse_arguments(T "" "" "SEES" ${ARGN})
  target_compile_options(${target} PRIVATE ${TARVEL_WARNINGS} ${TARVEL_CHARSET_FLAGS})
  target_include_directories(${target} PRIVATE ${TARVEL_GENERATED_DIR})
  if(NOT T_SEES)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    return()
  endif()
  set(view ${CMAKE_BINARY_DIR}/include-views/${target})
  foreach(folder ${T_SEES})
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "tarvel_target(${target}): no folder ${folder}")
    endif()
    get_filename_component(parent ${view}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${view}/${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PRIVATE ${view})
endfunction()

# In a test function: bounds its ctest entry by the TIMEOUT it was given,
# else by `default` seconds.
macro(tarvel_bound_test name default)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${default})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endmacro()

# A GoogleTest executable linked with MAIN (GTest::gtest_main, or GTest::gtest
# for one with a main of its own). Its sources compile in batches of a few
# files each: most of a test file's compile time is GoogleTest's and
# <windows.h>'s headers, read once a batch instead of once a file.
function(tarvel_test_executable name main sources libs)
  add_executable(${name} ${sources})
  tarvel_target(${name})
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 6)
  target_link_libraries(${name} PRIVATE ${libs} GTest::gmock ${main})
endfunction()

# tarvel_native_test(NAME SOURCES... LIBS ... [TIMEOUT s]): a GoogleTest
# executable run by ctest directly. The unit tests take well under a second,
# so a minute is a bound that only a test stuck in a loop reaches.
function(tarvel_native_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  tarvel_test_executable(${name} GTest::gtest_main "${T_SOURCES}" "${T_LIBS}")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  tarvel_bound_test(${name} 60)
endfunction()

# tarvel_wine_test(NAME SOURCES... LIBS ... [OWN_MAIN] [DEPENDS t...] [TIMEOUT s]): a Windows GoogleTest
# executable, one ctest entry, run through Wine inside the environment that
# scripts/wine-env keeps up.
function(tarvel_wine_test name)
  cmake_parse_arguments(T "OWN_MAIN" "TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  if(T_OWN_MAIN)
    tarvel_test_executable(${name} GTest::gtest "${T_SOURCES}" "${T_LIBS}")
  else()
    tarvel_test_executable(${name} GTest::gtest_main "${T_SOURCES}" "${T_LIBS}")
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  add_test(NAME ${name}
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:${name}> --gtest_brief=1
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  tarvel_bound_test(${name} 300)
endfunction()

# tarvel_portable_test(NAME SOURCES... LIBS ...): native under the sanitizers,
# and the same sources built with mingw and run under Wine.
function(tarvel_portable_test name)
  if(TARVEL_WINDOWS)
    tarvel_wine_test(${name} ${ARGN})
  else()
    tarvel_native_test(${name} ${ARGN})
  endif()
endfunction()
