# Two builds of one commit give the same bytes, in whatever folder and at whatever time they
# run (tools/check-reproducible.sh checks it):
#   - no build folder in any file: paths in debug information and in __FILE__ are written
#     relative to the source tree, and __DATE__/__TIME__ are refused;
#   - the Windows programs carry no link time in their header;
#   - the packages' entries carry the commit's time, a fixed order, owner and mode
#     (cmake/cpack_reproducible.cmake, run by CPack).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -Wdate-time)
cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${PROJECT_BINARY_DIR}" binary_dir_inside)
if(NOT binary_dir_inside)
    add_compile_options(-ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()

if(WIN32)
    add_link_options(LINKER:--no-insert-timestamp)
endif()

# Installed folders do not follow the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
