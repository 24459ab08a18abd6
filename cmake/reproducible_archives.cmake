# Run by cpack once it has staged the files of a package: writes the archive
# with write_archive.py, so that two builds of the same commit give the same
# bytes whoever builds them, in any time zone, every entry dated as
# source_date.cmake says.
include(${CMAKE_CURRENT_LIST_DIR}/source_date.cmake)

set(archive "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.${CPACK_SECTIFY_ARCHIVE}")
execute_process(COMMAND ${CPACK_SECTIFY_PYTHON} ${CPACK_SECTIFY_SOURCE_DIR}/cmake/write_archive.py
                        ${CPACK_SECTIFY_ARCHIVE} ${archive} ${CPACK_TEMPORARY_DIRECTORY} ${date}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${archive} could not be written")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${archive})
