# Read by cpack before each package: dates a package that cpack writes
# itself (the Debian package) as write_archive.py dates the archives, by
# setting SOURCE_DATE_EPOCH, which cpack honours, for this run.
include(${CMAKE_CURRENT_LIST_DIR}/source_date.cmake)
set(ENV{SOURCE_DATE_EPOCH} ${date})
