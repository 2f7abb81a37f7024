# Every target of the project calls tessalok_warnings(<target>).
function(tessalok_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual)
    if(TESSALOK_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
