# Run by cpack once it has staged the files of a package: writes the archive
# with write_archive.py, so that two builds of the same commit give the same
# bytes whoever builds them, in any time zone. Every entry is dated by the
# last commit, read even from a checkout that someone else owns; a
# SOURCE_DATE_EPOCH set and not empty in the environment wins; without git,
# a fixed date (2026-01-01) stands in. Beside the archive it writes
# SHA256SUMS, its sum as sha256sum writes it, for a download to be checked
# against and a rebuild compared with.
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

set(archive "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.${CPACK_SECTIFY_ARCHIVE}")
execute_process(COMMAND ${CPACK_SECTIFY_PYTHON} ${CPACK_SECTIFY_SOURCE_DIR}/cmake/write_archive.py
                        ${CPACK_SECTIFY_ARCHIVE} ${archive} ${CPACK_TEMPORARY_DIRECTORY} ${date}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${archive} could not be written")
endif()
file(SHA256 ${archive} sum)
get_filename_component(name ${archive} NAME)
set(sums "${CPACK_TOPLEVEL_DIRECTORY}/SHA256SUMS")
file(WRITE ${sums} "${sum}  ${name}\n")
set(CPACK_EXTERNAL_BUILT_PACKAGES ${archive} ${sums})
