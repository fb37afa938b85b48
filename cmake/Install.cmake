# Install layout under GNUInstallDirs (lib/<multiarch> when the prefix is /usr on Debian):
#   lib:      libzr48.so.1 (SONAME) and its symlinks, zr48.pc, the CMake package ZR48
#   include:  ZR48.h and the status constants and VISA base types it includes
#   bin:      zr48-sim
#   doc:      README, copyright and the examples' sources, per Debian package
# Components follow the Debian packages that CPack builds from them (cmake/Packaging.cmake).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZR48_RUNTIME_PACKAGE libzr48-${PROJECT_VERSION_MAJOR})
set(ZR48_DEV_PACKAGE libzr48-dev)
set(ZR48_TOOLS_PACKAGE zr48-tools)
set(ZR48_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZR48)

# Consumers of the installed library find the header through the imported target.
target_include_directories(zr48 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS zr48 EXPORT ZR48Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES include/ZR48.h include/zr48_status.h include/zr48_visatype.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(TARGETS zr48-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

# CMake package: find_package(ZR48 1.0 REQUIRED) gives ZR48::zr48; any 1.x satisfies 1.0.
install(EXPORT ZR48Targets NAMESPACE ZR48:: FILE ZR48Targets.cmake
  DESTINATION ${ZR48_CMAKE_PACKAGE_DIR} COMPONENT dev)
configure_package_config_file(packaging/ZR48Config.cmake.in
  ${PROJECT_BINARY_DIR}/packaging/ZR48Config.cmake INSTALL_DESTINATION ${ZR48_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/packaging/ZR48ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/packaging/ZR48Config.cmake
              ${PROJECT_BINARY_DIR}/packaging/ZR48ConfigVersion.cmake
  DESTINATION ${ZR48_CMAKE_PACKAGE_DIR} COMPONENT dev)

# pkg-config: the prefix is found from the .pc file's own place, so a staged or relocated
# install works as well as the packaged one.
function(zr48_install_pkgconfig name template component)
  file(RELATIVE_PATH pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(ZR48_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  configure_file(${template} ${PROJECT_BINARY_DIR}/packaging/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${name}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${component})
endfunction()
zr48_install_pkgconfig(zr48 packaging/zr48.pc.in dev)

# Every package carries its copyright file; the development package also the README and examples.
foreach(package ${ZR48_RUNTIME_PACKAGE} ${ZR48_DEV_PACKAGE} ${ZR48_TOOLS_PACKAGE} python3-zr48)
  if(package STREQUAL ZR48_RUNTIME_PACKAGE)
    set(component runtime)
  elseif(package STREQUAL ZR48_DEV_PACKAGE)
    set(component dev)
  elseif(package STREQUAL ZR48_TOOLS_PACKAGE)
    set(component tools)
  else()
    set(component python)
  endif()
  install(FILES packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ZR48_DEV_PACKAGE}
  COMPONENT dev)
install(FILES examples/quickstart.c
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ZR48_DEV_PACKAGE}/examples COMPONENT dev)
