# Everything `cmake --install` lays out besides the targets themselves:
# the pkg-config file, the CMake package with vantrel_add_blobs(), man
# pages, shell completion and the magic file for file(1).
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
configure_file(${CMAKE_CURRENT_LIST_DIR}/vantrel.pc.in ${PROJECT_BINARY_DIR}/vantrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vantrel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake package: find_package(vantrel) gives vantrel::vantrel, the programs
# vantrel::vantrel-comp and vantrel::vantrel-dump, and vantrel_add_blobs().
set(VANTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vantrel)
install(EXPORT vantrel-targets NAMESPACE vantrel:: DESTINATION ${VANTREL_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vantrel-config.cmake.in
  ${PROJECT_BINARY_DIR}/vantrel-config.cmake INSTALL_DESTINATION ${VANTREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vantrel-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vantrel-config.cmake
              ${PROJECT_BINARY_DIR}/vantrel-config-version.cmake
              ${CMAKE_CURRENT_LIST_DIR}/vantrel-blobs.cmake
              ${PROJECT_SOURCE_DIR}/lib/vantrel_c_names.h
        DESTINATION ${VANTREL_CMAKE_DIR})

foreach(page IN LISTS VANTREL_MAN_PAGES)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section "${page}")
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/docs/completion/vantrel-comp
              ${PROJECT_SOURCE_DIR}/docs/completion/vantrel-dump
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# file -m <prefix>/share/vantrel/vantrel.magic blob.dat
install(FILES ${PROJECT_SOURCE_DIR}/docs/magic/vantrel.magic DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrel)
