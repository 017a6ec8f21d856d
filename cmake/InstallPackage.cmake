# What `cmake --install` puts where, in three components that the Debian packages follow:
#   lib    the shared library and the code table               (libquandelstk6)
#   dev    headers, static library, CMake package, pkg-config   (libquandelstk-dev)
#   tools  the CLI and the simulator, man pages, completion     (quandelstk-tools)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QSTK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuandelSTK6)

if(TARGET quandelstk)
  install(TARGETS quandelstk EXPORT QuandelSTK6Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
endif()
install(TARGETS quandelstk_static EXPORT QuandelSTK6Targets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quandelstk DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev FILES_MATCHING PATTERN "*.hpp")

# find_package(QuandelSTK6 6.6 CONFIG): QuandelSTK6::quandelstk and QuandelSTK6::quandelstk_static.
install(EXPORT QuandelSTK6Targets NAMESPACE QuandelSTK6:: DESTINATION ${QSTK_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuandelSTK6Config.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/QuandelSTK6Config.cmake INSTALL_DESTINATION ${QSTK_CMAKE_DIR})
# A new minor version only adds to the library; a new major one is a new SONAME.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/QuandelSTK6ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/QuandelSTK6Config.cmake ${PROJECT_BINARY_DIR}/cmake/QuandelSTK6ConfigVersion.cmake
  DESTINATION ${QSTK_CMAKE_DIR} COMPONENT dev)

# quandelstk.pc names the prefix it is installed under, which `cmake --install --prefix` may choose
# after the build: so it is written at install time.
set(pc_file ${PROJECT_BINARY_DIR}/pkgconfig/quandelstk.pc)
set(pc_libs_private "")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND pc_libs_private " -l${lib}")
endforeach()
install(CODE "
  set(pc_prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(pc_libdir \"${CMAKE_INSTALL_LIBDIR}\")
  set(pc_includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
  foreach(dir pc_libdir pc_includedir)
    if(NOT IS_ABSOLUTE \"\${\${dir}}\")
      set(\${dir} \"\\\${prefix}/\${\${dir}}\")
    endif()
  endforeach()
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(pc_libs_private \"${pc_libs_private}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/quandelstk.pc.in\" \"${pc_file}\" @ONLY)
" COMPONENT dev)
install(FILES ${pc_file} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
