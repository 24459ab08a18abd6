# Builds for Windows with the MinGW-w64 compilers of Debian (or of MSYS2,
# on Windows itself): 32-bit (g++-mingw-w64-i686, the default) or, with
# SECTIFY_MINGW_ARCH set to x86_64, 64-bit (g++-mingw-w64-x86-64).
set(SECTIFY_MINGW_ARCH i686 CACHE STRING "i686 or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${SECTIFY_MINGW_ARCH})

set(prefix ${SECTIFY_MINGW_ARCH}-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${prefix}-gcc-posix ${prefix}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${prefix}-g++-posix ${prefix}-g++ REQUIRED)
# Debian names windres for its target; MSYS2 has a plain windres beside
# each environment's compiler.
get_filename_component(compilers ${CMAKE_CXX_COMPILER} DIRECTORY)
find_program(CMAKE_RC_COMPILER NAMES ${prefix}-windres)
find_program(CMAKE_RC_COMPILER NAMES windres PATHS ${compilers} NO_DEFAULT_PATH)

# Every processor that runs Windows 8 or later has SSE2, which the field
# scan of the conversion uses.
if(SECTIFY_MINGW_ARCH STREQUAL "i686")
  string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
