# Debian packages, one per install component, made by CPack's DEB generator:
#   runtime     -> libomron-fins-tcpip1       the driver .so under its SONAME
#   development -> libomron-fins-tcpip-dev    headers, CMake package, pkg-config file, .so link
#   tools       -> fins-tools                 fins-host, fins-plcsim and their manual pages
# scripts/package.sh (`make package`) configures a build for /usr, runs cpack and lintian.
# The packages follow the install rules: whatever a component installs is in its package.
include(GNUInstallDirs)

set(FINS_DEB_SOURCE omron-fins-tcpip)
get_target_property(FINS_SOVERSION omron_fins_tcpip SOVERSION)
set(FINS_DEB_RUNTIME "libomron-fins-tcpip${FINS_SOVERSION}")
set(FINS_DEB_DEV libomron-fins-tcpip-dev)
set(FINS_DEB_TOOLS fins-tools)
set(FINS_PACKAGE_MAINTAINER
  "omron_fins_tcpip maintainers <maintainers@users.noreply.c-seed-e4590d87.example>"
  CACHE STRING "Maintainer field of the Debian packages")

# The changelog's latest entry is the project's version: one number, checked here.
set(_fins_deb_dir "${CMAKE_CURRENT_LIST_DIR}/deb")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_fins_deb_dir}/changelog")
file(STRINGS "${_fins_deb_dir}/changelog" _fins_changelog_head LIMIT_COUNT 1)
if(NOT _fins_changelog_head MATCHES "^${FINS_DEB_SOURCE} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/deb/changelog's latest entry is '${_fins_changelog_head}', "
    "not version ${PROJECT_VERSION} of project()")
endif()

# Debian wants the changelog and manual pages compressed with gzip -9n (no name, no time).
find_program(FINS_GZIP gzip REQUIRED)
set(_fins_deb_build "${PROJECT_BINARY_DIR}/deb")
add_custom_command(OUTPUT "${_fins_deb_build}/changelog.gz"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${_fins_deb_build}"
  COMMAND ${FINS_GZIP} -9nc "${_fins_deb_dir}/changelog" > "${_fins_deb_build}/changelog.gz"
  DEPENDS "${_fins_deb_dir}/changelog" VERBATIM)
set(_fins_doc_outputs "${_fins_deb_build}/changelog.gz")

# Every package carries its copyright and changelog in /usr/share/doc/<package>.
function(fins_install_package_docs component package)
  install(FILES "${_fins_deb_dir}/copyright" "${_fins_deb_build}/changelog.gz"
    DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}" COMPONENT ${component})
endfunction()
fins_install_package_docs(runtime ${FINS_DEB_RUNTIME})
fins_install_package_docs(development ${FINS_DEB_DEV})

# The tools and their manual pages, written by help2man from --help and --version. A
# cross build cannot run its programs: FINS_MANPAGE_PROGRAMS names a native build tree
# whose fins-host and fins-plcsim print the same texts.
set(FINS_MANPAGE_PROGRAMS "" CACHE PATH "Native build tree to write the manual pages from")
find_program(FINS_HELP2MAN help2man)
set(_fins_tools)
foreach(_tool IN ITEMS fins-host fins-plcsim)
  if(TARGET ${_tool})
    list(APPEND _fins_tools ${_tool})
  endif()
endforeach()
set(_fins_tool_summary_fins-host "HMI runtime stand-in for the Omron FINS/TCP driver")
set(_fins_tool_summary_fins-plcsim "FINS/TCP simulator of an Omron CP1L PLC")
set(_fins_tool_dir_fins-host host)
set(_fins_tool_dir_fins-plcsim sim)
if(_fins_tools AND FINS_HELP2MAN AND (NOT CMAKE_CROSSCOMPILING OR FINS_MANPAGE_PROGRAMS))
  foreach(_tool IN LISTS _fins_tools)
    if(CMAKE_CROSSCOMPILING)
      set(_program "${FINS_MANPAGE_PROGRAMS}/${_fins_tool_dir_${_tool}}/${_tool}")
      set(_program_dep "${_program}")
    else()
      set(_program "$<TARGET_FILE:${_tool}>")
      set(_program_dep ${_tool})
    endif()
    set(_page "${_fins_deb_build}/${_tool}.1")
    add_custom_command(OUTPUT "${_page}.gz"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${_fins_deb_build}"
      COMMAND ${FINS_HELP2MAN} --no-info --no-discard-stderr
              "--name=${_fins_tool_summary_${_tool}}" --output=${_page} ${_program}
      COMMAND ${FINS_GZIP} -9nf "${_page}"
      DEPENDS ${_program_dep}
      COMMENT "Writing the manual page of ${_tool}" VERBATIM)
    list(APPEND _fins_doc_outputs "${_page}.gz")
    install(FILES "${_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tools)
  endforeach()
elseif(_fins_tools)
  message(STATUS "fins-tools: no manual pages (help2man missing, or a cross build "
    "without FINS_MANPAGE_PROGRAMS)")
endif()
add_custom_target(fins_package_docs ALL DEPENDS ${_fins_doc_outputs})

if(TARGET fins_host_core)
  # An installed fins-host finds the installed driver by its SONAME, from its own folder.
  file(RELATIVE_PATH _fins_bin_to_driver "/${CMAKE_INSTALL_BINDIR}"
    "/${CMAKE_INSTALL_LIBDIR}/libomron_fins_tcpip.so.${FINS_SOVERSION}")
  target_compile_definitions(fins_host_core PRIVATE
    FINS_DRIVER_INSTALLED_PATH="${_fins_bin_to_driver}")
elseif(TARGET fins-host)
  message(FATAL_ERROR "FinsPackaging: the target compiling host/driver_api.cpp is not "
    "fins_host_core any more: give it FINS_DRIVER_INSTALLED_PATH")
endif()
if(_fins_tools)
  install(TARGETS ${_fins_tools} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tools)
  fins_install_package_docs(tools ${FINS_DEB_TOOLS})
  set(CPACK_COMPONENTS_ALL runtime development tools)
else()
  set(CPACK_COMPONENTS_ALL runtime development)
endif()

# Package fields. The architecture is the target's: a cross build names it explicitly.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME ${FINS_DEB_SOURCE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${FINS_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${FINS_DEB_SOURCE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FINS_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(FINS_DEB_ARCHITECTURE "" CACHE STRING "Debian architecture of the packages (default: dpkg's)")
if(FINS_DEB_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${FINS_DEB_ARCHITECTURE})
endif()
# Where dpkg-shlibdeps finds the libraries of a cross build (see scripts/package.sh).
set(FINS_SHLIBDEPS_DIRS "" CACHE STRING "Library folders dpkg-shlibdeps searches (cross builds)")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${FINS_SHLIBDEPS_DIRS})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${FINS_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${_fins_deb_dir}/runtime/triggers")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Omron FINS/TCP driver library for HMI runtimes
A Qt 5 Core shared library that an HMI runtime loads into its own process to
talk to Omron CP1L-class PLCs over FINS/TCP. The host owns the socket; the
driver builds the request frames, judges the replies, retries, merges the
screens' variables into block reads and keeps an image of PLC memory.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${FINS_DEB_DEV})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "${FINS_DEB_RUNTIME} (= ${PROJECT_VERSION}), qtbase5-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Omron FINS/TCP driver library - development files
The public headers with the records an HMI runtime shares with the driver,
the CMake package (find_package(omron_fins_tcpip)) and the pkg-config file
(omron_fins_tcpip) to build a host against the driver library.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${FINS_DEB_TOOLS})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION net)
# fins-host loads the driver at run time (dlopen), so shlibdeps cannot see it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${FINS_DEB_RUNTIME} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Omron FINS/TCP driver - host stand-in and PLC simulator
fins-host loads the driver library, reads a PLC's memory cyclically and shows
the values on a terminal, as JSON or on a browser panel; it can record every
frame as pcap. fins-plcsim is a FINS/TCP server that behaves like a CP1L's
Ethernet port, with fault injection, for testing hosts without a PLC.")

include(CPack)
