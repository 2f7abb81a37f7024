# Hardening of every program of the native and Windows builds, tests included, so the tests
# run the code as it ships. The fuzz build has its own instrumentation (the sanitizers) and
# takes none of this.
#   Linux:   what Debian's packages carry (dpkg-buildflags, hardening=+all): a strong stack
#            protector, stack clash protection, control-flow protection, checked string and
#            memory functions in optimized builds, a position-independent executable, and
#            the relocation table read-only and bound at start.
#   Windows: the strong stack protector (libssp, linked statically like the rest of the
#            runtime). ASLR with high entropy and DEP are the linker's defaults and stay.
if(TESSALOK_FUZZ)
    return()
endif()

include(CheckCXXCompilerFlag)
# tessalok_harden_with(<flag>...) adds each flag the compiler knows to every compile.
function(tessalok_harden_with)
    foreach(flag IN LISTS ARGN)
        string(MAKE_C_IDENTIFIER "TESSALOK_HAS${flag}" known)
        check_cxx_compiler_flag(${flag} ${known})
        if(${known})
            add_compile_options(${flag})
        endif()
    endforeach()
endfunction()

if(WIN32)
    # The link step needs the flag too: it is what brings in libssp.
    add_compile_options(-fstack-protector-strong)
    add_link_options(-fstack-protector-strong)
else()
    tessalok_harden_with(-fstack-protector-strong -fstack-clash-protection -fcf-protection)
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
    add_link_options(LINKER:-z,relro,-z,now)
endif()
