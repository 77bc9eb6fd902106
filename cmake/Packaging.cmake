# Debian packages from the same build (cpack -G DEB, or tools/build-packages):
#   libbuslink1      the two shared libraries
#   libbuslink-dev   headers, CMake package, pkg-config files
#   buslink-tools    buslink-cli and actuator-sim with their man pages
#   kestrel2         the desktop tool, its menu entry, icon, AppStream data and MIME type
# Dependencies on other packages come from the shared libraries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME buslink)
set(CPACK_PACKAGE_VENDOR "buslink maintainers")
set(CPACK_PACKAGE_CONTACT "buslink maintainers <maintainers@users.noreply.c-seed-680974e0.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libraries development tools kestrel2)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries are found in the build tree while the packages are made.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/buslink)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_LIBRARIES_PACKAGE_NAME libbuslink1)
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBRARIES_DESCRIPTION "Modbus communications component (shared libraries)
 buslink is a Modbus RTU, ASCII and TCP component for host programs: master reads
 and writes, a periodic scan route, a write queue, tag names, numeric conversions
 and a slave mode. buslink-widgets holds its design-time windows.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libbuslink-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS libraries)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "qt6-base-dev, qt6-serialport-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Modbus communications component (development files)
 Headers (<buslink/Buslink.h>, ...), the CMake package (buslink::buslink,
 buslink::widgets) and pkg-config files (buslink, buslink-widgets).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME buslink-tools)
set(CPACK_COMPONENT_TOOLS_DEPENDS libraries)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Modbus command-line tools and actuator simulator
 buslink-cli reads, writes, scans and serves Modbus registers on serial lines and
 TCP endpoints; actuator-sim simulates a valve actuator with a Modbus card.")

set(CPACK_DEBIAN_KESTREL2_PACKAGE_NAME kestrel2)
set(CPACK_COMPONENT_KESTREL2_DEPENDS libraries)
set(CPACK_DEBIAN_KESTREL2_PACKAGE_RECOMMENDS buslink-tools)
set(CPACK_COMPONENT_KESTREL2_DESCRIPTION "Configuration and monitoring tool for valve actuators
 Kestrel II configures, documents, monitors and operates motorised valve actuators
 fitted with a Modbus network card, on a serial line or through a gateway.")

include(CPack)
