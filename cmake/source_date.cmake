# Sets `date` to the seconds since 1970 that date every file a package
# holds: SOURCE_DATE_EPOCH where it is set and not empty, else the last
# commit's date, read even from a checkout that someone else owns, else a
# fixed date (2026-01-01) where there is no git. CPACK_SECTIFY_SOURCE_DIR
# is the checkout.
set(date "$ENV{SOURCE_DATE_EPOCH}")
if(date STREQUAL "")
  set(date 1767225600)
  find_program(git git)
  if(git)
    execute_process(COMMAND ${git} -c safe.directory=* log -1 --format=%ct
                    WORKING_DIRECTORY ${CPACK_SECTIFY_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND commit_date MATCHES "^[0-9]+$")
      set(date ${commit_date})
    endif()
  endif()
endif()
if(NOT date MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: ${date}")
endif()
