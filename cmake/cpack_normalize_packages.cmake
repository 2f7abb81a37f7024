# Run by CPack after it has made the packages: each is written again so that neither the
# folder's listing order nor the builder's time zone and umask show in it
# (cmake/normalize_package.py): a zip in name order, with the commit's time and modes that
# follow only the executable bit; a .deb with fixed modes for its members. The time is the
# one cmake/cpack_source_date.cmake chose.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(package MATCHES "\\.(zip|deb)$")
        execute_process(COMMAND "${CPACK_TESSALOK_PYTHON}"
                "${CPACK_TESSALOK_SOURCE_DIR}/cmake/normalize_package.py" "${package}"
                "$ENV{SOURCE_DATE_EPOCH}"
            COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
