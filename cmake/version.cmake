# The product's one version number is the VERSION of project() in the top CMakeLists.txt.
# Everything else derives from it: the header with TESSALOK_VERSION for the command-line
# programs' --version, the version record of the Windows programs (resources/) and the
# package names (cmake/packaging.cmake). The window title and the manifest's assembly
# identity are fixed values of the program and do not follow it.
if(NOT PROJECT_VERSION_TWEAK)
    set(PROJECT_VERSION_TWEAK 0)
endif()
# The Windows version record wants four numbers separated by commas.
set(TESSALOK_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")

set(TESSALOK_VERSION_DIR ${PROJECT_BINARY_DIR}/generated/version)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessalok_version.h.in
    ${TESSALOK_VERSION_DIR}/tessalok_version.h @ONLY)

# Targets that print the version link tessalok_version and include "tessalok_version.h".
add_library(tessalok_version INTERFACE)
target_include_directories(tessalok_version INTERFACE ${TESSALOK_VERSION_DIR})
