# Install rules: the driver library, the public headers of include/ (only those), a
# CMake package config (imported target omron_fins_tcpip::omron_fins_tcpip) and a
# pkg-config file. Every installed path is relative to the prefix, so
# `cmake --install <build> --prefix <dir>` relocates the whole package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(FINS_PACKAGE omron_fins_tcpip)
set(FINS_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/${FINS_PACKAGE}")

file(GLOB FINS_PUBLIC_HEADERS CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/include/*.h")
set_target_properties(omron_fins_tcpip PROPERTIES EXPORT_NAME omron_fins_tcpip)

install(TARGETS omron_fins_tcpip EXPORT ${FINS_PACKAGE}Targets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT runtime NAMELINK_COMPONENT development
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(FILES ${FINS_PUBLIC_HEADERS} DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT development)

install(EXPORT ${FINS_PACKAGE}Targets NAMESPACE ${FINS_PACKAGE}::
  DESTINATION "${FINS_CMAKE_DIR}" COMPONENT development)
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/${FINS_PACKAGE}Config.cmake.in"
  "${PROJECT_BINARY_DIR}/${FINS_PACKAGE}Config.cmake" INSTALL_DESTINATION "${FINS_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/${FINS_PACKAGE}ConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/${FINS_PACKAGE}Config.cmake"
  "${PROJECT_BINARY_DIR}/${FINS_PACKAGE}ConfigVersion.cmake"
  DESTINATION "${FINS_CMAKE_DIR}" COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, not fixed at configure time.
file(RELATIVE_PATH FINS_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" FINS_PC_TO_PREFIX "${FINS_PC_TO_PREFIX}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/${FINS_PACKAGE}.pc.in" "${PROJECT_BINARY_DIR}/${FINS_PACKAGE}.pc"
  @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/${FINS_PACKAGE}.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT development)
