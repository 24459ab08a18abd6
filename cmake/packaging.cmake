# What users get, installed and packaged: on Linux the program, its manual
# page, the README and the licence in the usual folders (a TGZ); for
# Windows the program with a plain-text read-me, the licence and the scripts
# for Explorer's right-click menu at the root of a ZIP, all with CR LF line
# ends and no links to files it lacks.

if(WIN32)
  install(TARGETS Sectify RUNTIME DESTINATION .)
  configure_file(docs/windows-readme.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  # The scripts that add and remove the right-click entry, beside the
  # program whose path they write.
  set(explorer_scripts "Add to Explorer.cmd" "Remove from Explorer.cmd")
  foreach(script IN LISTS explorer_scripts)
    configure_file("src/explorer/${script}" "${script}" @ONLY NEWLINE_STYLE CRLF)
    install(FILES "${CMAKE_CURRENT_BINARY_DIR}/${script}" DESTINATION .)
  endforeach()
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
          DESTINATION .)
else()
  include(GNUInstallDirs)
  install(TARGETS Sectify RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES docs/Sectify.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME Sectify)
set(CPACK_PACKAGE_VENDOR ${SECTIFY_AUTHORS})
set(CPACK_PACKAGE_CONTACT ${SECTIFY_AUTHORS})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
# Archives whose bytes depend on the sources alone: every entry dated by
# the last commit (see reproducible_archives.cmake).
set(CPACK_SECTIFY_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/reproducible_archives.cmake)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
