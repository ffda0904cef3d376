# Cross toolchain for the Windows x64 build: Debian's MinGW-w64 with POSIX
# threads, every program and library linked statically so that the output
# needs nothing beyond the system's own DLLs (and node.exe for the add-on).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HOSTLINK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HOSTLINK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HOSTLINK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${HOSTLINK_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${HOSTLINK_MINGW_TRIPLET}-dlltool)

# Libraries cross-built for this toolchain (bzip2, GoogleTest, the RapidJSON
# headers) live in one prefix, given by the build script.
set(HOSTLINK_WIN_DEPS "" CACHE PATH "Prefix of the cross-built third-party libraries")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTLINK_WIN_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${HOSTLINK_MINGW_TRIPLET})
if(HOSTLINK_WIN_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${HOSTLINK_WIN_DEPS})
  # They count as system headers, as the same libraries from Debian do in the Linux build,
  # so that their warnings do not fail a -Werror build.
  set(CMAKE_C_FLAGS_INIT "-isystem ${HOSTLINK_WIN_DEPS}/include")
  set(CMAKE_CXX_FLAGS_INIT "-isystem ${HOSTLINK_WIN_DEPS}/include")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (test discovery included).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec)
