# Test executables are Windows programs: CTest runs each under Wine (tools/wine-run.sh) inside the
# Xvfb display that `make test` provides, with the project's prefix from the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env;WINE_ROOT=${CMAKE_BINARY_DIR};${CMAKE_SOURCE_DIR}/tools/wine-run.sh)

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# veltrina_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [SERIAL])
# One executable per group of related cases; SERIAL ones share the prefix's documents folder
# and must not run beside each other.
function(veltrina_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_compile_options(${T_NAME} PRIVATE ${VELTRINA_WARNINGS})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main gtest)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300)
  if(T_SERIAL)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK documents)
  endif()
endfunction()

# Developers may leave out groups that are mid-change: -DVELTRINA_SKIP_TEST_DIRS="core;duilib".
set(VELTRINA_SKIP_TEST_DIRS "" CACHE STRING "test folders to leave out of this build tree")
file(GLOB _test_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
set(_native_dirs fuzz engine)
foreach(dir ${_test_dirs})
  get_filename_component(_name ${dir} NAME)
  # tests/fuzz and tests/engine are native projects of their own (tools/fuzz.sh, tools/test.sh),
  # never part of this build.
  if(EXISTS ${dir}/CMakeLists.txt AND NOT _name IN_LIST VELTRINA_SKIP_TEST_DIRS AND NOT _name IN_LIST _native_dirs)
    add_subdirectory(${dir})
  endif()
endforeach()

add_subdirectory(${CMAKE_SOURCE_DIR}/tools/tour ${CMAKE_BINARY_DIR}/tour-build)
# `make bench`: its programs build only when it asks for them (target bench_programs); nothing of
# it runs in `make test`, which need not spend its time on them.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/bench ${CMAKE_BINARY_DIR}/bench-build EXCLUDE_FROM_ALL)

# No function or member of ours may carry a name that the Windows headers rename by a macro.
add_test(NAME macro_names COMMAND bash ${CMAKE_SOURCE_DIR}/tools/check_macro_names.sh ${CMAKE_SOURCE_DIR})
