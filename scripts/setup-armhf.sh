#!/usr/bin/env bash
# Prepares the 32-bit ARM (armhf) cross build: the cross compiler, qemu-arm, and a
# sysroot with Qt 5 Core, GoogleTest and their run-time libraries for armhf.
#
# The armhf libraries are unpacked from Debian's armhf packages into the sysroot
# (FINS_ARMHF_SYSROOT, /opt/fins-armhf-sysroot by default) instead of being installed
# side by side with the amd64 ones: a multi-arch install needs every shared package at
# exactly the amd64 version, which the armhf index of the security archive does not
# always offer, and unpacking leaves the machine's own packages untouched.
#
# Idempotent: when everything is in place it touches no package index.
# Exit status: 0 ready; 3 the packages cannot be had here (one line on stderr says why).
set -uo pipefail

SYSROOT=${FINS_ARMHF_SYSROOT:-/opt/fins-armhf-sysroot}
TRIPLE=arm-linux-gnueabihf
LOG=${FINS_ARMHF_LOG:-/tmp/fins-setup-armhf.log}

# Qt 5 Core with the headers and package config of the armhf Qt development package,
# GoogleTest, every library libQt5Core.so.5 loads at run time, the C and C++ run-time
# packages and cpp-httplib with the .pc files it requires (fins-host's panel).
ARMHF_PACKAGES=(
  libqt5core5a qtbase5-dev
  libgtest-dev libgmock-dev
  libdouble-conversion3 libglib2.0-0 libicu72 libpcre2-16-0 libpcre2-8-0
  libzstd1 zlib1g libffi8
  libc6 libstdc++6 libgcc-s1
  libcpp-httplib-dev libcpp-httplib0.11 libssl3 libssl-dev libbrotli1 libbrotli-dev zlib1g-dev
)
HOST_PACKAGES=(crossbuild-essential-armhf qemu-user qtbase5-dev-tools qt5-qmake)
STAMP="$SYSROOT/.fins-armhf-ready"
# The stamp names the layout too: a sysroot made by an older version is made again.
STAMP_TEXT="control-merged ${ARMHF_PACKAGES[*]}"

say() { echo "setup-armhf: $*"; }
give_up() {
  echo "setup-armhf: armhf packages cannot be installed ($*); see $LOG" >&2
  exit 3
}

SUDO=()
[[ $(id -u) -eq 0 ]] || SUDO=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Other installs may hold the dpkg or list lock: wait for them rather than fail.
APT=("${SUDO[@]}" apt-get -o DPkg::Lock::Timeout=600 -o Acquire::Retries=2)

host_ready() {
  local pkg status
  for pkg in "${HOST_PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || return 1
  done
  command -v "$TRIPLE-g++" >/dev/null && command -v qemu-arm >/dev/null
}

sysroot_ready() { [[ -f "$STAMP" && "$(cat "$STAMP")" == "$STAMP_TEXT" ]]; }

if host_ready && sysroot_ready; then
  say "cross compiler, qemu-arm and sysroot $SYSROOT present"
  exit 0
fi

: >"$LOG"
# An index that fails to refresh (the armhf security index is seen out of sync, and
# then every later update exits 100) must not stop the install: the lists already
# fetched still serve.
refresh_index() {
  "${APT[@]}" update >>"$LOG" 2>&1 || say "apt-get update reported errors; using the lists it has"
}

if ! host_ready; then
  say "installing ${HOST_PACKAGES[*]}"
  refresh_index
  "${APT[@]}" install -y "${HOST_PACKAGES[@]}" >>"$LOG" 2>&1 ||
    give_up "apt-get install ${HOST_PACKAGES[*]} failed"
fi

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  "${SUDO[@]}" dpkg --add-architecture armhf || give_up "dpkg --add-architecture armhf failed"
  refresh_index
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
say "fetching armhf packages into $SYSROOT"
debs=()
for pkg in "${ARMHF_PACKAGES[@]}"; do debs+=("$pkg:armhf"); done
(cd "$work" && chmod 777 . && "${APT[@]}" download "${debs[@]}" >>"$LOG" 2>&1)
if [[ $? -ne 0 ]]; then
  # The armhf index may be missing altogether: fetch it once more and retry.
  refresh_index
  (cd "$work" && "${APT[@]}" download "${debs[@]}" >>"$LOG" 2>&1) ||
    give_up "apt-get download of the armhf packages failed"
fi

staging="$SYSROOT.new"
"${SUDO[@]}" rm -rf "$staging"
mkdir -p "$staging" || give_up "cannot create $staging"
# DEBIAN/ gathers the packages' symbols and shlibs files, so that dpkg-shlibdeps can
# name the armhf packages behind the sysroot's libraries (scripts/package.sh).
mkdir -p "$staging/DEBIAN"
for deb in "$work"/*.deb; do
  dpkg-deb -x "$deb" "$staging" || give_up "cannot unpack $(basename "$deb")"
  rm -rf "$work/control" && dpkg-deb -e "$deb" "$work/control" ||
    give_up "cannot read the control files of $(basename "$deb")"
  for info in symbols shlibs; do
    [[ -f "$work/control/$info" ]] && cat "$work/control/$info" >>"$staging/DEBIAN/$info"
  done
done

# Qt's package config checks that its build tools and mkspec exist: point them at
# the build machine's (architecture-independent) ones.
qt_bin="$staging/usr/lib/qt5/bin"
qt_arch="$staging/usr/lib/$TRIPLE/qt5"
mkdir -p "$qt_bin" "$qt_arch/bin" "$qt_arch/mkspecs"
for tool in moc rcc uic qmake; do
  [[ -e /usr/lib/qt5/bin/$tool ]] && ln -sfn "/usr/lib/qt5/bin/$tool" "$qt_bin/$tool"
done
ln -sfn /usr/lib/qt5/bin/qmake "$qt_arch/bin/qmake"
ln -sfn "/usr/lib/x86_64-linux-gnu/qt5/mkspecs/linux-g++" "$qt_arch/mkspecs/linux-g++"

[[ -e "$staging/usr/lib/$TRIPLE/libQt5Core.so.5" ]] || give_up "libQt5Core.so.5 missing after unpacking"
echo "$STAMP_TEXT" >"$staging/.fins-armhf-ready"
"${SUDO[@]}" rm -rf "$SYSROOT"
mv "$staging" "$SYSROOT" || give_up "cannot move the sysroot into $SYSROOT"
say "ready: $("$TRIPLE-g++" -dumpversion) cross compiler, $(qemu-arm --version | head -1), sysroot $SYSROOT"
