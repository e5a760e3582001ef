#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need.
# Idempotent and non-interactive: when everything is installed it touches no
# package index, so a machine that passed once never fails on a mirror hiccup.
set -euo pipefail

PACKAGES=(
  cmake make g++ pkg-config
  qtbase5-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev
  clang libclang-rt-14-dev
  tshark
  libcpp-httplib-dev libjs-dygraphs
  chromium nodejs
  help2man lintian dpkg-dev file
)
# The browser test's npm: Debian's nodejs ships without it, a node from elsewhere
# may bring its own (Debian's npm would then conflict with that nodejs).
command -v npm >/dev/null 2>&1 || PACKAGES+=(npm)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "setup: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=()
[[ $(id -u) -eq 0 ]] || SUDO=(sudo)
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether non-root users may capture; answer no without a prompt.
echo "wireshark-common wireshark-common/install-setuid boolean false" |
  "${SUDO[@]}" debconf-set-selections
echo "setup: installing ${missing[*]}"
# An index that fails to refresh (a mirror out of sync) must not stop the install
# when the packages can still be found in the lists already on the machine.
"${SUDO[@]}" apt-get update -qq || echo "setup: apt-get update failed; trying the existing package lists"
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
