# Installation: the public headers, libksnd32 and libwail32 with their sonames, ksfx and its
# manual page, a CMake package (find_package(ksnd32) -> ksnd32::ksnd32, ksnd32::wail32) and a
# pkg-config file. Both package files locate the tree relative to themselves, so an installed
# tree can be moved.
include(CMakePackageConfigHelpers)

set(KSND_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ksnd32)
install(FILES ${PROJECT_SOURCE_DIR}/include/ksnd32.h ${PROJECT_SOURCE_DIR}/include/wail32.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(TARGET ksnd32 AND TARGET wail32)
  # libksnd32 finds libwail32 beside itself, whatever the host's own search path.
  set_target_properties(ksnd32 PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ksnd32 wail32 EXPORT ksnd32Targets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT ksnd32Targets NAMESPACE ksnd32:: DESTINATION ${KSND_CMAKE_DIR})
  configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ksnd32Config.cmake.in
                                ${PROJECT_BINARY_DIR}/ksnd32Config.cmake
                                INSTALL_DESTINATION ${KSND_CMAKE_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/ksnd32ConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/ksnd32Config.cmake
                ${PROJECT_BINARY_DIR}/ksnd32ConfigVersion.cmake
          DESTINATION ${KSND_CMAKE_DIR})

  # pkg-config: the prefix is found from the .pc file's own directory.
  file(RELATIVE_PATH KSND_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" KSND_PC_TO_PREFIX "${KSND_PC_TO_PREFIX}")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/ksnd32.pc.in ${PROJECT_BINARY_DIR}/ksnd32.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/ksnd32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

if(TARGET ksfx)
  install(TARGETS ksfx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/tools/ksfx.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
