# Debian packages from the install components (cmake/Install.cmake), named as Debian names
# libraries: the runtime library package carries the SONAME's major version.
#   libzr48-1    libzr48.so.1 (shlibs, symbols and ldconfig trigger)
#   libzr48-dev  headers, the .so links, zr48.pc and zr48visa.pc, the CMake package, README and
#                examples
#   zr48-tools   zr48 (command-line tool and front panel), zr48-sim
#   python3-zr48 the Python package zr48 (ctypes over libzr48.so.1)
#   libzr48visa1 libzr48visa.so.1, the I/O layer as a VISA library (PyVISA loads it)
# Dependencies on system libraries come from dpkg-shlibdeps. scripts/package.sh builds them.
set(CPACK_PACKAGE_NAME zr48)
set(CPACK_PACKAGE_VENDOR "zr48 maintainers")
set(CPACK_PACKAGE_CONTACT "zr48 maintainers <maintainers@users.noreply.c-seed-6bdc1cb4.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
# Packages always install under /usr; configure with CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh)
# for the multiarch library directory.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools visa python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# shlibs control files (and the ldconfig trigger) for the packages that hold a shared library.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.invalid/zr48")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${ZR48_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "IVI-C driver for the seven-channel DC power supply (shared library)\n\
libzr48.so.1 exports the ZR48_ functions of an IVI-C specific driver of the IviDCPwr class\n\
and brings its own attribute engine and VISA-style I/O layer over TCP sockets.")
# dpkg-gensymbols format; checked against the built library by a test.
set(ZR48_SYMBOLS_FILE ${PROJECT_BINARY_DIR}/packaging/${ZR48_RUNTIME_PACKAGE}/symbols)
configure_file(packaging/libzr48.symbols ${ZR48_SYMBOLS_FILE} COPYONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${ZR48_SYMBOLS_FILE})

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${ZR48_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(ZR48_EXACT_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "${ZR48_RUNTIME_PACKAGE} (= ${ZR48_EXACT_VERSION}), ${ZR48_VISA_PACKAGE} (= ${ZR48_EXACT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "IVI-C driver for the seven-channel DC power supply (development files)\n\
ZR48.h, the libzr48.so link, zr48.pc for pkg-config, the CMake package ZR48 (ZR48::zr48)\n\
and the quick-start example; visa.h and visatype.h (in include/zr48visa), the libzr48visa.so\n\
link and zr48visa.pc.")

set(CPACK_DEBIAN_VISA_PACKAGE_NAME ${ZR48_VISA_PACKAGE})
set(CPACK_DEBIAN_VISA_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_VISA_DESCRIPTION
  "VISA library over TCP sockets, from the zr48 driver's I/O layer\n\
libzr48visa.so.1 exports VISA's C interface under its standard names (viOpenDefaultRM, viOpen,\n\
viRead, viWrite, viPrintf, viScanf, viQueryf, ...) for TCP/IP instruments (raw sockets,\n\
VXI-11, HiSLIP), with bounded waits and Nagle off. PyVISA loads it: pyvisa.ResourceManager('<path>/libzr48visa.so.1').")
set(ZR48_VISA_SYMBOLS_FILE ${PROJECT_BINARY_DIR}/packaging/${ZR48_VISA_PACKAGE}/symbols)
configure_file(packaging/libzr48visa.symbols ${ZR48_VISA_SYMBOLS_FILE} COPYONLY)
set(CPACK_DEBIAN_VISA_PACKAGE_CONTROL_EXTRA ${ZR48_VISA_SYMBOLS_FILE})

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${ZR48_TOOLS_PACKAGE})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "Tools for the seven-channel DC power supply\n\
zr48, the command-line tool (find, idn, set, get, measure, scpi, errors, trace, bench and the\n\
soft front panel in a browser), and zr48-sim, a simulated supply that speaks its SCPI command\n\
set over TCP on loopback.")
# zr48 links libzr48.so.1 from this build: dpkg-shlibdeps finds it there, and the dependency on
# the runtime package of the same build is stated.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/driver)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${ZR48_RUNTIME_PACKAGE} (= ${ZR48_EXACT_VERSION})")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-zr48)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, ${ZR48_RUNTIME_PACKAGE} (= ${ZR48_EXACT_VERSION})")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "Python package for the seven-channel DC power supply driver\n\
zr48: sessions, channels and attributes of libzr48.so.1 through ctypes, errors as exceptions.")

include(CPack)
