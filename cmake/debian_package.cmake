# Run by cpack before it builds a package from the staged files, and after.
# For the Debian package, lays the files out as Debian's policy asks: the
# manual page gzipped, the documents in /usr/share/doc/sectify with the
# licence as a copyright file and a changelog.gz in Debian's formats, and
# lintian told that the program is linked statically on purpose (it starts
# faster); then gives the package's members fixed rights.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
if(CPACK_PACKAGE_FILES)
  # After: the package's members get rights that no umask changes, where
  # Python is found, as for the archives.
  if(NOT CPACK_SECTIFY_PYTHON)
    return()
  endif()
  execute_process(COMMAND ${CPACK_SECTIFY_PYTHON} ${CPACK_SECTIFY_SOURCE_DIR}/cmake/ar_members.py
                          ${CPACK_PACKAGE_FILES} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${CPACK_PACKAGE_FILES} could not be rewritten")
  endif()
  return()
endif()
set(usr ${CPACK_TEMPORARY_DIRECTORY}/usr)
set(doc ${usr}/share/doc/sectify)
file(RENAME ${usr}/share/doc/Sectify ${doc})
file(REMOVE ${doc}/LICENSE)

# The licence's text, each line behind a blank and an empty line as " .".
file(READ ${CPACK_SECTIFY_SOURCE_DIR}/LICENSE licence)
string(FIND "${licence}" "Permission" start)
string(SUBSTRING "${licence}" ${start} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence " ${licence}")
file(WRITE ${doc}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: Sectify\n\n"
     "Files: *\nCopyright: ${CPACK_SECTIFY_COPYRIGHT}\nLicense: Expat\n${licence}\n")

# Dated as the package is (package_date.cmake sets SOURCE_DATE_EPOCH).
string(TIMESTAMP released "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc}/changelog
     "sectify (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
     "  * Sectify ${CPACK_PACKAGE_VERSION}: see /usr/share/doc/sectify/README.md.\n\n"
     " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${released}\n")

file(MAKE_DIRECTORY ${usr}/share/lintian/overrides)
file(WRITE ${usr}/share/lintian/overrides/sectify
     "sectify: statically-linked-binary [usr/bin/Sectify]\n")

# gzip without a name or date in its header, as Debian's tools compress.
foreach(file ${doc}/changelog ${usr}/share/man/man1/Sectify.1)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${file} could not be compressed")
  endif()
endforeach()
# Rights that no umask changes.
file(GLOB_RECURSE files ${usr}/share/*)
file(CHMOD ${files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB_RECURSE entries LIST_DIRECTORIES true ${usr}/*)
foreach(entry IN LISTS entries ITEMS ${usr})
  if(IS_DIRECTORY ${entry})
    file(CHMOD ${entry} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
