# libzr48visa.so.1: the I/O layer as a VISA library of its own, exporting VISA's C interface
# under its standard names (platform/visa/zr48visa.map) for VISA clients such as PyVISA. Built
# from the same objects as the static library that libzr48 links; libzr48 does not need it.
# Its headers, visa.h and visatype.h, install into a directory of their own (include/zr48visa),
# so that they never shadow another VISA's headers.
add_library(zr48visa SHARED $<TARGET_OBJECTS:zr48_visa>)
target_link_libraries(zr48visa PRIVATE zr48_handles zr48_wire Threads::Threads)
set_target_properties(zr48visa PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/platform/visa/zr48visa.map)
# -Bsymbolic: the library's own calls between vi* functions stay inside it, also when it is
# loaded into a program that defines vi* itself (a driver linked statically, which then loads
# this library through ZR48_VISA_LIBRARY).
target_link_options(zr48visa PRIVATE
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/platform/visa/zr48visa.map
  -Wl,--no-undefined
  -Wl,-Bsymbolic)

# Installed beside libzr48, in a package of its own (cmake/Packaging.cmake); the headers, the
# link and zr48visa.pc go with the development files.
set(ZR48_VISA_PACKAGE libzr48visa${PROJECT_VERSION_MAJOR})
install(TARGETS zr48visa
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT visa NAMELINK_COMPONENT dev)
install(FILES platform/visa/public/visa.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zr48visa COMPONENT dev)
install(FILES include/zr48_visatype.h RENAME visatype.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zr48visa COMPONENT dev)
zr48_install_pkgconfig(zr48visa packaging/zr48visa.pc.in dev)
install(FILES packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ZR48_VISA_PACKAGE} COMPONENT visa)
