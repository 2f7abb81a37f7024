# Platform selection: files named *_win32.cpp or *_linux.cpp are chosen here,
# never by #ifdef inside the portable core.
if(WIN32)
    set(TESSALOK_PLATFORM win32)
    # Self-contained executables: no libgcc, libstdc++ or winpthread DLLs.
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
else()
    set(TESSALOK_PLATFORM linux)
endif()

# tessalok_platform_sources(<var> <stem>...) appends <stem>_<platform>.cpp.
function(tessalok_platform_sources var)
    set(result ${${var}})
    foreach(stem IN LISTS ARGN)
        list(APPEND result ${stem}_${TESSALOK_PLATFORM}.cpp)
    endforeach()
    set(${var} ${result} PARENT_SCOPE)
endfunction()
