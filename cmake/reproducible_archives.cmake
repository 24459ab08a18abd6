# Read by cpack before it packs: dates every entry of the archives by the
# last commit, so that two builds of the same commit give the same bytes.
# A SOURCE_DATE_EPOCH set in the environment wins; without git, a fixed
# date (2026-01-01) stands in.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(date 1767225600)
  find_program(git git)
  if(git)
    execute_process(COMMAND ${git} log -1 --format=%ct
                    WORKING_DIRECTORY ${CPACK_SECTIFY_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_date OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND commit_date MATCHES "^[0-9]+$")
      set(date ${commit_date})
    endif()
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${date})
endif()
