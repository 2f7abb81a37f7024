# Every target of the project calls tessalok_warnings(<target>).
function(tessalok_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        # GCC 12 reports impossible overlaps inside std::string at -O2/-O3 (GCC bug 105329).
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(TESSALOK_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
