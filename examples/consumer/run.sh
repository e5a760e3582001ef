#!/usr/bin/env bash
# Installs the driver into a temporary prefix, then builds this example against the
# installed package twice - through the CMake package config and through pkg-config -
# and runs both programs. Usage: examples/consumer/run.sh [driver build dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-$repo/build}
JOBS=${JOBS:-$(nproc)}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >"$work/install.log"
echo "package: installed into a temporary prefix:"
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./|  |' | sort)

# Nothing but the public headers of include/ may be installed as headers.
expected_headers=$(cd "$repo/include" && ls ./*.h | sed 's|^\./||' | sort)
installed_headers=$(cd "$prefix/include" && find . -type f | sed 's|^\./||' | sort)
if [[ "$expected_headers" != "$installed_headers" ]]; then
  echo "package: installed headers differ from include/:" >&2
  diff <(echo "$expected_headers") <(echo "$installed_headers") >&2 || true
  exit 1
fi

# Through the CMake package config, in a build tree of its own.
cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log"
cmake --build "$work/cmake-build" -j "$JOBS" >"$work/build.log"
echo "package: built with find_package(omron_fins_tcpip); running it"
LD_LIBRARY_PATH="$prefix/lib:${LD_LIBRARY_PATH:-}" "$work/cmake-build/fins_consumer"

# Through pkg-config.
pcdir=$(dirname "$(find "$prefix" -name omron_fins_tcpip.pc | head -1)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs omron_fins_tcpip)
libdir=$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=libdir omron_fins_tcpip)
${CXX:-c++} -std=c++17 -Wall -Wextra -o "$work/fins_consumer_pc" "$here/main.cpp" $flags
echo "package: built with pkg-config omron_fins_tcpip; running it"
LD_LIBRARY_PATH="$libdir" "$work/fins_consumer_pc"
