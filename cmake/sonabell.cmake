# Compiler settings shared by the project's own targets (not third-party code).
set(SONABELL_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

# Code that goes into Sonabell.dll passes DLL_CODE: it is compiled against the
# Windows XP headers (0x0501), so a call to anything newer fails to compile
# instead of making the DLL unloadable on XP. Tests and tools may use newer
# calls; the version is private to each target, so both meet in one link.
function(sonabell_target target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "DLL_CODE" "" "")
  target_include_directories(${target} PUBLIC ${SONABELL_SOURCE_ROOT})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-missing-field-initializers)
  if(SONABELL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(WIN32)
    if(arg_DLL_CODE)
      set(windows_version 0x0501)
    else()
      set(windows_version 0x0601)
    endif()
    target_compile_definitions(${target} PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX)
    target_compile_definitions(${target} PRIVATE _WIN32_WINNT=${windows_version}
      WINVER=${windows_version})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY")
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  endif()
endfunction()

if(WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    add_compile_options(-msse2 -mfpmath=sse)
  endif()
endif()

if(SONABELL_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Tests of a cross build run under Wine. A 32-bit build's tests need a kernel
# that runs 32-bit code; where it cannot, only the static file checks run in
# that tree and the windows64 preset runs the Wine tests of the same sources.
if(WIN32 AND NOT DEFINED SONABELL_RUN_WINE_TESTS)
  set(run_wine ON)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    execute_process(COMMAND ${SONABELL_SOURCE_ROOT}/scripts/can-run-win32.sh RESULT_VARIABLE can32)
    if(NOT can32 EQUAL 0)
      set(run_wine OFF)
      message(STATUS "This machine cannot run 32-bit code: Wine tests are left to the windows64 preset")
    endif()
  endif()
  set(SONABELL_RUN_WINE_TESTS ${run_wine} CACHE BOOL "Register the tests that run under Wine")
endif()

# Registers a GoogleTest executable with ctest. Under a cross build its tests
# run under Wine and need the build tree's Wine world (the wine_world fixture).
function(sonabell_add_gtest target)
  if(WIN32 AND NOT SONABELL_RUN_WINE_TESTS)
    return()
  elseif(WIN32)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
      PROPERTIES FIXTURES_REQUIRED wine_world LABELS wine TIMEOUT 300 ${ARGN})
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS native ${ARGN})
  endif()
endfunction()

# A libFuzzer target; only in the fuzz preset (clang). The test directories
# call this for each target, e.g. sonabell_add_fuzzer(fuzz_x x_fuzz.cpp sb_pure).
function(sonabell_add_fuzzer name source)
  if(SONABELL_FUZZ)
    add_executable(${name} ${source})
    sonabell_target(${name})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARGN})
  endif()
endfunction()
