# Every target of the project calls tessalok_warnings(<target>).
function(tessalok_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        # GCC 12 reports impossible overlaps and out-of-bounds copies inside std::string and
        # std::vector::insert at -O2/-O3 (GCC bugs 105329, 107852, 106199). Real bounds
        # faults are caught by the sanitizer builds of the fuzz targets.
        target_compile_options(${target} PRIVATE -Wno-restrict -Wno-array-bounds
            -Wno-stringop-overread -Wno-stringop-overflow)
    endif()
    if(TESSALOK_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
