# Cross build for the 32-bit ARM panel (arm-linux-gnueabihf, hard float).
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake
#
# Compiler and C library come from Debian's cross toolchain (crossbuild-essential-armhf,
# in /usr/arm-linux-gnueabihf). Qt 5 Core, GoogleTest and their libraries come from a
# sysroot of unpacked armhf packages that scripts/setup-armhf.sh prepares; its location
# is FINS_ARMHF_SYSROOT (cache variable or environment), /opt/fins-armhf-sysroot by
# default. Test programs run under qemu-arm as plain `qemu-arm ./program`: the binaries
# name the cross toolchain's loader and carry an rpath to every armhf library directory,
# so no QEMU_LD_PREFIX and no -L are needed and only one glibc build is ever loaded.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

if(NOT FINS_ARMHF_SYSROOT)
  if(DEFINED ENV{FINS_ARMHF_SYSROOT})
    set(FINS_ARMHF_SYSROOT "$ENV{FINS_ARMHF_SYSROOT}")
  else()
    set(FINS_ARMHF_SYSROOT /opt/fins-armhf-sysroot)
  endif()
endif()
set(FINS_ARMHF_SYSROOT "${FINS_ARMHF_SYSROOT}" CACHE PATH "Unpacked armhf Qt and GoogleTest")
# try_compile projects see the same settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FINS_ARMHF_SYSROOT)

set(FINS_ARMHF_TOOLCHAIN_ROOT /usr/arm-linux-gnueabihf)

# Libraries, headers and package configs only from the armhf trees; programs (moc) from
# the build machine.
set(CMAKE_FIND_ROOT_PATH "${FINS_ARMHF_SYSROOT}" "${FINS_ARMHF_TOOLCHAIN_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(FINS_QEMU_ARM qemu-arm)
if(FINS_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${FINS_QEMU_ARM}")
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
endif()

# The sysroot's architecture-specific headers (openssl's configuration, for httplib.h),
# where a native compiler would look by itself.
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${FINS_ARMHF_SYSROOT}/usr/include/arm-linux-gnueabihf")

# pkg-config reads the armhf .pc files, with their paths inside the sysroot.
set(ENV{PKG_CONFIG_LIBDIR}
    "${FINS_ARMHF_SYSROOT}/usr/lib/arm-linux-gnueabihf/pkgconfig:${FINS_ARMHF_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${FINS_ARMHF_SYSROOT}")

# FINS_ARMHF_PANEL=ON builds for the panel (the Debian packages): the standard loader
# and library paths, no run path into this machine's folders. Otherwise the programs
# run here under plain qemu-arm, with the run-time search path, in order: the cross C
# and C++ runtime, then the sysroot's libraries. A plain rpath (not runpath) also
# serves the libraries' own dependencies.
option(FINS_ARMHF_PANEL "Build armhf binaries for the panel, not for qemu-arm here" OFF)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FINS_ARMHF_PANEL)
set(_fins_armhf_libdirs
    "${FINS_ARMHF_TOOLCHAIN_ROOT}/lib"
    "${FINS_ARMHF_SYSROOT}/usr/lib/arm-linux-gnueabihf"
    "${FINS_ARMHF_SYSROOT}/lib/arm-linux-gnueabihf")
string(REPLACE ";" ":" _fins_armhf_path "${_fins_armhf_libdirs}")
if(FINS_ARMHF_PANEL)
  set(_fins_armhf_link "-Wl,-rpath-link,${_fins_armhf_path}")
  set(CMAKE_EXE_LINKER_FLAGS_INIT "${_fins_armhf_link}")
else()
  set(_fins_armhf_link
      "-Wl,--disable-new-dtags"
      "-Wl,-rpath,${_fins_armhf_path}"
      "-Wl,-rpath-link,${_fins_armhf_path}")
  string(REPLACE ";" " " _fins_armhf_link "${_fins_armhf_link}")
  set(CMAKE_EXE_LINKER_FLAGS_INIT
      "-Wl,--dynamic-linker=${FINS_ARMHF_TOOLCHAIN_ROOT}/lib/ld-linux-armhf.so.3 ${_fins_armhf_link}")
endif()
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_fins_armhf_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_fins_armhf_link}")
