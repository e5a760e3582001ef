#!/usr/bin/env bash
# Builds the Debian packages into dist/ (`make package`): amd64 from a native build,
# armhf from the cross build, each for /usr with Debian's hardening flags, then runs
# lintian on every package. Kept lintian tags: cmake/deb/lintian-kept (README lists
# them with their reasons); any other warning or error fails.
#   scripts/package.sh [amd64|armhf]...   (default: both; armhf is skipped with one
#                                          line when its cross packages cannot be had)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
JOBS=${JOBS:-$(nproc)}
DIST=${FINS_DIST:-$repo/dist}
NATIVE=${FINS_PACKAGE_BUILD:-$repo/build-package}
CROSS=${FINS_PACKAGE_ARMHF_BUILD:-$repo/build-package-armhf}
SYSROOT=${FINS_ARMHF_SYSROOT:-/opt/fins-armhf-sysroot}
arches=("$@")
[[ ${#arches[@]} -gt 0 ]] || arches=(amd64 armhf)

say() { echo "package: $*"; }

# Debian's compiler and linker flags for a package build (hardening included), taken
# from the environment by the first configure of a fresh build tree; the toolchain's
# own linker flags are added to them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
fresh_build() {
  rm -rf "$1" && mkdir -p "$1"
  eval "$(dpkg-buildflags --export=sh)"
  export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
  flags=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DFINS_BUILD_TESTS=OFF
    -DFINS_BUILD_BENCH=OFF)
}

# CPack (3.25) gives a library package maintainer scripts that only call ldconfig;
# Debian does that with the ldconfig trigger (cmake/deb/runtime/triggers), so they go.
drop_ldconfig_scripts() {
  local deb=$1 tree script
  tree=$(mktemp -d)
  dpkg-deb -R "$deb" "$tree/pkg"
  for script in postinst postrm; do
    [[ -e "$tree/pkg/DEBIAN/$script" ]] || continue
    if grep -vqE '^(#!/bin/sh|set -e|if \[ "\$1" = "[a-z]+" \]; then|[[:space:]]*ldconfig|fi|)$' \
      "$tree/pkg/DEBIAN/$script"; then
      echo "package: $(basename "$deb"): $script does more than call ldconfig" >&2
      rm -rf "$tree"
      return 1
    fi
    rm "$tree/pkg/DEBIAN/$script"
  done
  dpkg-deb --root-owner-group -b "$tree/pkg" "$deb" >/dev/null
  rm -rf "$tree"
}

# cpack into the build tree, then the .deb files alone into dist/.
run_cpack() {
  local build=$1
  rm -rf "$build/cpack"
  (cd "$build" && cpack -G DEB -B "$build/cpack" >"$build/cpack.log" 2>&1) ||
    { cat "$build/cpack.log" >&2; return 1; }
  mkdir -p "$DIST"
  for deb in "$build"/cpack/*.deb; do
    drop_ldconfig_scripts "$deb"
    cp "$deb" "$DIST/"
    say "built dist/$(basename "$deb")"
  done
}

lint() {
  local arch=$1
  say "lintian on the $arch packages"
  # As root, lintian warns about that on every run: that line is left out.
  lintian --fail-on error,warning --suppress-tags-from-file cmake/deb/lintian-kept \
    --tag-display-limit 0 "$DIST"/*_"$arch".deb 2> >(grep -v 'root privileges' >&2)
}


build_amd64() (
  fresh_build "$NATIVE"
  cmake -S . -B "$NATIVE" "${flags[@]}" >"$NATIVE/configure.log" 2>&1 ||
    { cat "$NATIVE/configure.log" >&2; exit 1; }
  cmake --build "$NATIVE" -j "$JOBS" >"$NATIVE/build.log" 2>&1 ||
    { tail -40 "$NATIVE/build.log" >&2; exit 1; }
  rm -f "$DIST"/*_amd64.deb
  run_cpack "$NATIVE"
  lint amd64
)

# The armhf binaries are built for the panel: the standard loader and library paths,
# no run path into this machine's cross folders (FINS_ARMHF_PANEL). dpkg-shlibdeps
# finds the armhf libraries in the sysroot, whose DEBIAN/ holds the symbols and shlibs
# files of the armhf packages unpacked there (scripts/setup-armhf.sh).
build_armhf() (
  rm -f "$DIST"/*_armhf.deb
  if ! bash scripts/setup-armhf.sh; then
    say "armhf: SKIPPED - the armhf cross toolchain and libraries are not available here"
    exit 0
  fi
  export DEB_HOST_ARCH=armhf DEB_HOST_MULTIARCH=arm-linux-gnueabihf
  fresh_build "$CROSS"
  local libdirs="$SYSROOT/lib/arm-linux-gnueabihf;$SYSROOT/usr/lib/arm-linux-gnueabihf"
  cmake -S . -B "$CROSS" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake -DFINS_ARMHF_PANEL=ON \
    "${flags[@]}" -DCMAKE_INSTALL_LIBDIR=lib/arm-linux-gnueabihf -DFINS_DEB_ARCHITECTURE=armhf -DFINS_MANPAGE_PROGRAMS="$NATIVE" \
    "-DFINS_SHLIBDEPS_DIRS=$libdirs" >"$CROSS/configure.log" 2>&1 ||
    { cat "$CROSS/configure.log" >&2; exit 1; }
  cmake --build "$CROSS" -j "$JOBS" >"$CROSS/build.log" 2>&1 ||
    { tail -40 "$CROSS/build.log" >&2; exit 1; }
  run_cpack "$CROSS"
  lint armhf
)

for arch in "${arches[@]}"; do
  case $arch in
    amd64) build_amd64 ;;
    armhf)
      # The manual pages come from the native programs.
      [[ -x "$NATIVE/host/fins-host" ]] || build_amd64
      build_armhf ;;
    *) echo "package: unknown architecture '$arch' (amd64 or armhf)" >&2; exit 2 ;;
  esac
done
