# Read by CPack before it stages the files (CPACK_PROJECT_CONFIG_FILE): the packages take
# the commit's time, not the time of the build. SOURCE_DATE_EPOCH, when set, wins over the
# commit's time. Set here, it reaches everything CPack runs: strip, which writes it into
# the Windows programs' header, the DEB generator, and cmake/cpack_stage_times.cmake and
# cmake/cpack_normalize_packages.cmake.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C "${CPACK_TESSALOK_SOURCE_DIR}" log -1 --format=%ct
        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE git_status ERROR_QUIET)
    if(git_status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
        set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    else()
        message(WARNING "No commit time (not a git checkout) and SOURCE_DATE_EPOCH unset: "
            "the package carries the time of the build")
    endif()
endif()
