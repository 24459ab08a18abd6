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
  # Where the README's link finds it.
  install(FILES docs/DETAILS.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
endif()

set(CPACK_PACKAGE_NAME Sectify)
set(CPACK_PACKAGE_VENDOR ${SECTIFY_AUTHORS})
set(CPACK_PACKAGE_CONTACT ${SECTIFY_AUTHORS})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# Archives whose bytes depend on the sources alone, written with Python by
# reproducible_archives.cmake once cpack has staged the files; without
# Python, by cpack itself (the same bytes for the same builder alone). The
# Windows program is linked without symbols, so that the one in the ZIP is
# the one built: stripping it again would write a date into its header.
find_package(Python3 COMPONENTS Interpreter)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_package.cmake
                              ${PROJECT_SOURCE_DIR}/cmake/sha256sums.cmake)
set(CPACK_SECTIFY_SOURCE_DIR ${PROJECT_SOURCE_DIR})
if(Python3_Interpreter_FOUND)
  set(CPACK_GENERATOR External)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/reproducible_archives.cmake)
  set(CPACK_SECTIFY_PYTHON ${Python3_EXECUTABLE})
  # The archive and its SHA256SUMS, for those who build a release again to
  # compare it: cmake --build --preset release --target SHA256SUMS.
  add_custom_target(SHA256SUMS COMMAND ${CMAKE_CPACK_COMMAND} --config CPackConfig.cmake
                    WORKING_DIRECTORY ${PROJECT_BINARY_DIR} VERBATIM)
  add_dependencies(SHA256SUMS Sectify)
elseif(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
if(WIN32)
  set(CPACK_SECTIFY_ARCHIVE zip)
  set(CPACK_STRIP_FILES OFF)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_SECTIFY_ARCHIVE tar.gz)
  set(CPACK_STRIP_FILES ON)
  # And a Debian package, sectify_VERSION_ARCH.deb, for apt to install.
  list(APPEND CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME sectify)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SECTIFY_AUTHORS} <sectify@users.invalid>")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Sectify turns a flight file in its XML form (.fxml) into the same flight
in its sectioned plain-text form (.flt), written beside it, with Windows
line ends. The .fxml file is never changed, an output is never
half-written, and an empty conversion never replaces a flight.")
  # The files as Debian's policy wants them (see debian_package.cmake),
  # dated as the archives are.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_package.cmake)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_date.cmake)
  set(CPACK_SECTIFY_COPYRIGHT "2026 ${SECTIFY_AUTHORS}")
endif()
include(CPack)
