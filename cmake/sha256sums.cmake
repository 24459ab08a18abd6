# Run by cpack once a package is built: writes the sum of each package file
# into SHA256SUMS in the folder the packages go to, as sha256sum writes it,
# keeping the lines of the other generators' packages, in the order of
# their names, so that a download can be checked and a rebuild compared
# with one file.
set(sums ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  # The External generator's description of what it was given.
  if(name MATCHES "\\.json$")
    continue()
  endif()
  set(lines)
  if(EXISTS ${sums})
    file(STRINGS ${sums} lines)
    list(FILTER lines EXCLUDE REGEX "  ${name}$")
  endif()
  file(SHA256 ${package} sum)
  list(APPEND lines "${sum}  ${name}")
  # Sorted by name: each line's name begins 66 characters in.
  set(by_name)
  foreach(line IN LISTS lines)
    string(SUBSTRING "${line}" 66 -1 line_name)
    list(APPEND by_name "${line_name}\t${line}")
  endforeach()
  list(SORT by_name)
  list(TRANSFORM by_name REPLACE "^[^\t]*\t" "")
  list(JOIN by_name "\n" text)
  file(WRITE ${sums} "${text}\n")
endforeach()
