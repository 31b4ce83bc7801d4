# Everything `cmake --install` lays out besides the targets themselves:
# the pkg-config file, the CMake package, man pages and shell completion.
include(CMakePackageConfigHelpers)

# pkg-config: the prefix is found from the .pc file's own place, so a tree
# installed with --prefix, DESTDIR or moved later keeps working.
file(RELATIVE_PATH VANTREL_PC_TO_PREFIX
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VANTREL_PC_TO_PREFIX "${VANTREL_PC_TO_PREFIX}")
set(VANTREL_PC_PREFIX "\${pcfiledir}/${VANTREL_PC_TO_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(VANTREL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(VANTREL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vantrel.pc.in ${CMAKE_BINARY_DIR}/vantrel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/vantrel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake package: find_package(vantrel) gives vantrel::vantrel.
set(VANTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vantrel)
install(EXPORT vantrel-targets NAMESPACE vantrel:: DESTINATION ${VANTREL_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vantrel-config.cmake.in
  ${CMAKE_BINARY_DIR}/vantrel-config.cmake INSTALL_DESTINATION ${VANTREL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/vantrel-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/vantrel-config.cmake
              ${CMAKE_BINARY_DIR}/vantrel-config-version.cmake
        DESTINATION ${VANTREL_CMAKE_DIR})

set(VANTREL_MAN_PAGES
  ${CMAKE_SOURCE_DIR}/docs/man/vantrel-comp.1
  ${CMAKE_SOURCE_DIR}/docs/man/vantrel-dump.1
  ${CMAKE_SOURCE_DIR}/docs/man/libvantrel.3
  ${CMAKE_SOURCE_DIR}/docs/man/vantrel.5)
foreach(page IN LISTS VANTREL_MAN_PAGES)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section "${page}")
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/docs/completion/vantrel-comp
              ${CMAKE_SOURCE_DIR}/docs/completion/vantrel-dump
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
