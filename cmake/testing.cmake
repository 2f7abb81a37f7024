# GoogleTest: Debian's package natively, its sources for the mingw builds.
if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
        add_library(GTest::gmock ALIAS gmock)
    endif()
else()
    find_package(GTest REQUIRED)
endif()

# tessalok_add_test(<name> SOURCES ... LIBS ...): one test binary, run by CTest
# (under wine for the Windows builds, through CMAKE_CROSSCOMPILING_EMULATOR).
function(tessalok_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    tessalok_warnings(${name})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
