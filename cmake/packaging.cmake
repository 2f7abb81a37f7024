# Install rules for every program and document, and the release packages made by CPack:
#   Windows builds: tessalok-VERSION-win64.zip / -win32.zip with the four programs, a quick
#                   start and the license (cpack --preset win64 / win32);
#   Linux build:    tessalok_VERSION_amd64.deb with the command line, the virtual drive, their
#                   manual pages and bash completion, and the docs (cpack --preset linux).
# The version is the project's (cmake/version.cmake). Executables are stripped when packaged.
include(GNUInstallDirs)

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_build})

set(TESSALOK_MAINTAINER "Tessalok developers <tessalok@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

if(WIN32)
    # Everything at the top of the zip's one folder, beside each other.
    install(TARGETS KV_Tessalok KV_Tessalok_Demo tessalok tessalok-vdrive RUNTIME DESTINATION .)
    # Plain texts with Windows line ends, for Notepad.
    configure_file(${packaging_source}/quickstart.txt.in ${packaging_build}/QUICKSTART.txt
        @ONLY NEWLINE_STYLE WIN32)
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
    file(CONFIGURE OUTPUT ${packaging_build}/LICENSE.txt CONTENT "${license_text}" @ONLY
        NEWLINE_STYLE WIN32)
    install(FILES ${packaging_build}/QUICKSTART.txt ${packaging_build}/LICENSE.txt
        DESTINATION .)

    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(package_architecture win32)
    else()
        set(package_architecture win64)
    endif()
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${package_architecture})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    install(TARGETS tessalok tessalok-vdrive RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    # Debian wants manual pages and the changelog compressed, without a time stamp.
    find_program(TESSALOK_GZIP gzip REQUIRED)
    set(compressed)
    foreach(page tessalok tessalok-vdrive)
        configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${packaging_build}/${page}.1
            @ONLY)
        list(APPEND compressed ${page}.1)
    endforeach()
    configure_file(${packaging_source}/changelog.in ${packaging_build}/changelog @ONLY)
    list(APPEND compressed changelog)
    set(compressed_outputs)
    foreach(name IN LISTS compressed)
        add_custom_command(OUTPUT ${packaging_build}/${name}.gz
            COMMAND ${TESSALOK_GZIP} -9 -n -f -k ${name}
            DEPENDS ${packaging_build}/${name}
            WORKING_DIRECTORY ${packaging_build}
            VERBATIM)
        list(APPEND compressed_outputs ${packaging_build}/${name}.gz)
    endforeach()
    add_custom_target(tessalok_packaging_files ALL DEPENDS ${compressed_outputs})

    install(FILES ${packaging_build}/tessalok.1.gz ${packaging_build}/tessalok-vdrive.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${packaging_source}/bash-completion/tessalok
                  ${packaging_source}/bash-completion/tessalok-vdrive
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

    # The license in Debian's machine-readable copyright format ("Expat" is Debian's name
    # for the MIT license): the text after the copyright line, each line indented by one
    # blank, an empty line written as " .".
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
    string(REGEX MATCH "Copyright (\\(c\\) )?([^\n]*)\n\n(.*)" matched "${license_text}")
    set(copyright_holder "${CMAKE_MATCH_2}")
    string(STRIP "${CMAKE_MATCH_3}" license_body)
    string(REPLACE "\n" "\n " license_body " ${license_body}")
    string(REPLACE "\n \n" "\n .\n" license_body "${license_body}\n")
    file(WRITE ${packaging_build}/copyright
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: ${PROJECT_NAME}\n\n"
        "Files: *\n"
        "Copyright: ${copyright_holder}\n"
        "License: Expat\n"
        "${license_body}")

    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
    file(GLOB docs ${PROJECT_SOURCE_DIR}/docs/*.md)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${docs} ${packaging_build}/copyright
                  ${packaging_build}/changelog.gz
        DESTINATION ${doc_dir})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSALOK_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tessalok developers")
set(CPACK_PACKAGE_CONTACT "${TESSALOK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "utility for USB flash drives with a fingerprint sensor")
# Lines under 80 columns, as Debian's package tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "The drive keeps up to ten enrolled fingerprints. tessalok finds the drive
among the present drives, shows how many fingerprints are installed and how
many more fit, enrols a new one after an installed finger authorizes it,
erases all of them after a confirmation and an authorized finger, and shows
the drive's model text, in thirteen languages. It talks to the drive through
vendor-specific SCSI commands (SG_IO).

tessalok-vdrive is a virtual fingerprint drive for trying and testing
everything without the hardware. It serves its drives over TCP (its own
protocol, which tessalok --vdrive speaks), as iSCSI disks for any iSCSI
initiator, and as USB flash drives over USB/IP (Linux's vhci-hcd and usbip,
usbip-win2 on Windows), so that an operating system's own storage drivers
carry the vendor commands as they do to the hardware.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")
# Packages alike from build to build: cmake/reproducible.cmake.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CPACK_TESSALOK_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_TESSALOK_PYTHON ${Python3_EXECUTABLE})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_source_date.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_stage_times.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_normalize_packages.cmake)
include(CPack)
