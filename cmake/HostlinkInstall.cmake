# The host side as an installable package: `cmake --install <build> --prefix P` puts the
# static library of every layer below the bridge in P/lib, the headers a host author
# includes in P/include/hostlink, the CMake package (Hostlink::host) in
# P/lib/cmake/Hostlink, hostlink.pc in P/lib/pkgconfig and hostlink-check in P/bin.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HOSTLINK_PACKAGE_VERSION 0.2.0)

# What a host author includes. Every header these include in turn (found by following their
# #include "..." lines through src/) is installed with them, so this is the one list to keep.
set(HOSTLINK_PUBLIC_HEADERS
  host/HostService.h
  host/HostObject.h
  host/Value.h
  host/Arguments.h
  host/Result.h
  host/CallError.h
  host/ErrorCode.h)

# The headers reachable from the given ones, each relative to src/.
function(hostlink_header_closure out)
  set(pending ${ARGN})
  set(found)
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found)
      continue()
    endif()
    list(APPEND found ${header})
    set(file ${CMAKE_SOURCE_DIR}/src/${header})
    # A header that changes may include others: configure again when one does.
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      if(EXISTS ${CMAKE_SOURCE_DIR}/src/${included})
        list(APPEND pending ${included})
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

hostlink_header_closure(HOSTLINK_INSTALLED_HEADERS ${HOSTLINK_PUBLIC_HEADERS})
set(HOSTLINK_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/hostlink)
foreach(header IN LISTS HOSTLINK_INSTALLED_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/src/${header}
          DESTINATION ${HOSTLINK_INSTALL_INCLUDEDIR}/${folder} COMPONENT host)
endforeach()

# hostlink_core is every layer below the bridge in one archive; installed as libhostlink.
set(HOSTLINK_ARCHIVE_NAME
    ${CMAKE_STATIC_LIBRARY_PREFIX}hostlink${CMAKE_STATIC_LIBRARY_SUFFIX})
install(FILES $<TARGET_FILE:hostlink_core> DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RENAME ${HOSTLINK_ARCHIVE_NAME} COMPONENT host)

if(TARGET hostlink-check)
  install(TARGETS hostlink-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
endif()

set(HOSTLINK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Hostlink)
set(HOSTLINK_CHECK_NAME hostlink-check${CMAKE_EXECUTABLE_SUFFIX})
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/HostlinkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/HostlinkConfig.cmake
  INSTALL_DESTINATION ${HOSTLINK_CMAKE_DIR}
  PATH_VARS HOSTLINK_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_BINDIR)
# 0.x releases: only the same minor version is compatible.
write_basic_package_version_file(
  ${CMAKE_BINARY_DIR}/package/HostlinkConfigVersion.cmake
  VERSION ${HOSTLINK_PACKAGE_VERSION} COMPATIBILITY SameMinorVersion)
# The .pc file finds the prefix from where it lies, so the package can be installed anywhere.
file(RELATIVE_PATH HOSTLINK_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/hostlink.pc.in ${CMAKE_BINARY_DIR}/package/hostlink.pc
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/HostlinkConfig.cmake
              ${CMAKE_BINARY_DIR}/package/HostlinkConfigVersion.cmake
        DESTINATION ${HOSTLINK_CMAKE_DIR} COMPONENT host)
install(FILES ${CMAKE_BINARY_DIR}/package/hostlink.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT host)
