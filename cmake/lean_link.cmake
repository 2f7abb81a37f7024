# Each function and each object in a section of its own, so that the linker drops whatever
# no program calls. (Not in the fuzz build: the sanitizers keep their own sections.)
if(NOT TESSALOK_FUZZ)
    add_compile_options(-ffunction-sections -fdata-sections)
    add_link_options(LINKER:--gc-sections)
endif()
