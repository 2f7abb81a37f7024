# Run by CPack after it has staged the files and before it packs them: every staged folder
# gets mode 755 whatever the builder's umask, and every staged file and folder the time that
# cmake/cpack_source_date.cmake chose, so the packages do not carry the time of the build.
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -type d -exec chmod 755 {} +
    COMMAND_ERROR_IS_FATAL ANY)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec
            touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
        COMMAND_ERROR_IS_FATAL ANY)
endif()
