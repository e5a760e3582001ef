#!/usr/bin/env bash
# The Debian packages as a panel integrator meets them (a stage of `make test`):
#   amd64: installed with apt-get from the .deb files; examples/consumer/ built against
#          the installed development package with CMake and with pkg-config, and run;
#          /usr/bin/fins-host run against /usr/bin/fins-plcsim on loopback for a few
#          cycles; then purged, and nothing of them may be left.
#   armhf: the files of each package, the architecture of every binary (readelf), and
#          the armhf consumer built against the unpacked packages and run under qemu-arm.
# The machine is left as it was found, also when a step fails. Needs root (apt-get).
#   scripts/test-packages.sh [DIST]   (default: build the packages with scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
TRIPLE=arm-linux-gnueabihf

if [[ $# -gt 0 ]]; then
  DIST=$(cd "$1" && pwd)
else
  DIST=$repo/dist
  bash scripts/package.sh
fi

say() { echo "packages: $*"; }
fail() {
  echo "packages: FAILED - $*" >&2
  exit 1
}

version=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' cmake/deb/changelog)
amd64_debs=("$DIST"/*_"$version"_amd64.deb)
[[ -e ${amd64_debs[0]} ]] || fail "no amd64 packages of version $version in $DIST"
packages=()
for deb in "${amd64_debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done

SUDO=()
[[ $(id -u) -eq 0 ]] || SUDO=(sudo)
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
sim_pid=
installed_by_us=0

installed() { dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^.[iufhwt]'; }
# Every package of the machine with its version and state, to compare before and after.
machine_state() { dpkg-query -W -f='${Package}:${Architecture} ${Version} ${db:Status-Abbrev}\n' | sort; }

cleanup() {
  local rc=$?
  [[ -z $sim_pid ]] || kill "$sim_pid" 2>/dev/null || true
  if [[ $installed_by_us -eq 1 ]]; then
    "${SUDO[@]}" dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT

# --- amd64: install, use, purge -------------------------------------------------
for pkg in "${packages[@]}"; do
  installed "$pkg" && fail "$pkg is already installed here; purge it before this check"
done
machine_state >"$work/before"
# Which paths of the packages exist before (shared folders such as /usr/include do).
package_paths() {
  for deb in "${amd64_debs[@]}"; do dpkg-deb --fsys-tarfile "$deb" | tar -t; done |
    sed 's|^\./|/|; s|/$||' | grep -v '^$' | sort -u
}
present_paths() { while read -r p; do if [[ -e $p || -L $p ]]; then echo "$p"; fi; done < <(package_paths); }
present_paths >"$work/paths-before"

# apt-get must install exactly our packages: every dependency is already here, so
# nothing is downloaded (checked first) and the purge gives the machine back as it was.
apt_install=("${SUDO[@]}" apt-get install -y -q --no-install-recommends)
"${apt_install[@]}" -s "${amd64_debs[@]}" >"$work/simulate.log" 2>&1 ||
  { cat "$work/simulate.log" >&2; fail "apt-get cannot install the packages"; }
would_install=$(sed -n 's/^Inst \([^ ]*\) .*/\1/p' "$work/simulate.log" | sort | tr '\n' ' ')
expected=$(printf '%s\n' "${packages[@]}" | sort | tr '\n' ' ')
[[ $would_install == "$expected" ]] ||
  fail "apt-get would install '$would_install', not only '$expected' (run scripts/setup.sh)"
installed_by_us=1
"${apt_install[@]}" "${amd64_debs[@]}" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "apt-get install of ${packages[*]}"; }
say "installed ${packages[*]} ($version, amd64) with apt-get"

# The consumer, built against the installed development package both ways.
cmake -S examples/consumer -B "$work/consumer-cmake" >"$work/consumer.log" 2>&1 &&
  cmake --build "$work/consumer-cmake" >>"$work/consumer.log" 2>&1 ||
  { cat "$work/consumer.log" >&2; fail "the consumer does not build with find_package"; }
"$work/consumer-cmake/fins_consumer" >"$work/consumer.out" || { cat "$work/consumer.out"; fail "consumer (CMake)"; }
say "consumer built with find_package(omron_fins_tcpip): $(tail -1 "$work/consumer.out")"
# Debian's Qt 5 wants position-independent code (-fPIC, not -fPIE); a .pc file may not
# say so, as with Qt's own.
# shellcheck disable=SC2046 # pkg-config's flags are separate words
${CXX:-c++} -std=c++17 -fPIC -Wall -Wextra -o "$work/fins_consumer_pc" examples/consumer/main.cpp \
  $(pkg-config --cflags --libs omron_fins_tcpip) || fail "the consumer does not build with pkg-config"
"$work/fins_consumer_pc" >"$work/consumer.out" || { cat "$work/consumer.out"; fail "consumer (pkg-config)"; }
driver=$(ldd "$work/fins_consumer_pc" | sed -n 's/.*libomron_fins_tcpip.so.1 => \([^ ]*\).*/\1/p')
[[ -n $driver && $(realpath "$driver") == $(realpath /usr/lib/x86_64-linux-gnu/libomron_fins_tcpip.so.1) ]] ||
  fail "the consumer loads the driver from '$driver'"
say "consumer built with pkg-config omron_fins_tcpip: $(tail -1 "$work/consumer.out"), driver $driver"

# The installed tools: their version is the packages', and a few cycles on loopback
# with a write read back.
for tool in fins-host fins-plcsim; do
  [[ $(command -v "$tool") == /usr/bin/$tool ]] || fail "$tool is not /usr/bin/$tool"
  [[ $("$tool" --version) == "$tool $version" ]] || fail "$tool --version says '$("$tool" --version)'"
  [[ -f /usr/share/man/man1/$tool.1.gz ]] || fail "no manual page for $tool"
done
/usr/bin/fins-plcsim --port 0 --port-file "$work/port" --node 200 --set D100=42 \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  [[ -s $work/port ]] && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.log" >&2; fail "fins-plcsim did not start"; }
  sleep 0.1
done
[[ -s $work/port ]] || fail "fins-plcsim wrote no port"
# fins-host finds the driver by itself: the installed one, not a build tree's.
LD_DEBUG=libs /usr/bin/fins-host --tags host/demo/screen.tags --plc "127.0.0.1:$(cat "$work/port")" \
  --cycles 5 --max-offline-seconds 10 --json --write recipe=7,8 >"$work/host.json" 2>"$work/ld.log" ||
  { cat "$work/host.json"; fail "fins-host exited with $?"; }
grep -q 'calling init: /usr/bin/../lib/x86_64-linux-gnu/libomron_fins_tcpip.so.1$' "$work/ld.log" ||
  fail "fins-host did not load the installed driver: $(grep 'calling init:.*omron' "$work/ld.log")"
node -e '
  const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
  const tag = (n) => r.tags.find((t) => t.name === n).values.join(",");
  const got = [r.outcome, r.counters.cycles, r.counters.failures, tag("setpoint"), tag("recipe")];
  const want = ["cycles done", 5, 0, "42", "7,8,0,0"];
  if (JSON.stringify(got) !== JSON.stringify(want)) {
    console.error("fins-host reported", got, "not", want);
    process.exit(1);
  }' "$work/host.json" || fail "fins-host's report"
kill "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
sim_pid=
say "/usr/bin/fins-host ran 5 cycles against /usr/bin/fins-plcsim: D100 42 read, recipe=7,8 written"

# Purge: no package, file or folder of ours left, every other package as it was.
"${SUDO[@]}" apt-get purge -y -q "${packages[@]}" >"$work/purge.log" 2>&1 ||
  { cat "$work/purge.log" >&2; fail "apt-get purge"; }
installed_by_us=0
machine_state >"$work/after"
diff "$work/before" "$work/after" >&2 || fail "the machine's packages differ after the purge"
present_paths >"$work/paths-after"
diff "$work/paths-before" "$work/paths-after" >&2 || fail "files of the packages are left after the purge"
say "purged: every package as before, no file of the packages left"

# --- armhf: contents, architectures, the library used under qemu-arm ------------
armhf_debs=("$DIST"/*_"$version"_armhf.deb)
if [[ ! -e ${armhf_debs[0]} ]]; then
  say "armhf: SKIPPED - no armhf packages (the cross toolchain is not available here)"
  exit 0
fi
root="$work/armhf-root"
for deb in "${armhf_debs[@]}"; do
  [[ $(dpkg-deb -f "$deb" Architecture) == armhf ]] || fail "$(basename "$deb") is not armhf"
  dpkg-deb -x "$deb" "$root"
done
# The files each package must hold, and nothing else (folders aside).
libdir=usr/lib/$TRIPLE
expect_files() {
  local deb=$1
  shift
  local got want
  got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
  want=$(printf '%s\n' "$@" | sort)
  [[ $got == "$want" ]] || { diff <(echo "$want") <(echo "$got") >&2; fail "files of $(basename "$deb")"; }
}
headers=()
for h in include/*.h; do headers+=("usr/$h"); done
docs() { echo "usr/share/doc/$1/changelog.gz" "usr/share/doc/$1/copyright"; }
so_version=$(readlink "$root/$libdir/libomron_fins_tcpip.so.1")
# shellcheck disable=SC2046 # docs gives two paths
expect_files "$DIST/libomron-fins-tcpip1_${version}_armhf.deb" "$libdir/libomron_fins_tcpip.so.1" \
  "$libdir/$so_version" $(docs libomron-fins-tcpip1)
cmake_dir=$libdir/cmake/omron_fins_tcpip
# shellcheck disable=SC2046
expect_files "$DIST/libomron-fins-tcpip-dev_${version}_armhf.deb" "${headers[@]}" \
  "$libdir/libomron_fins_tcpip.so" "$libdir/pkgconfig/omron_fins_tcpip.pc" \
  "$cmake_dir/omron_fins_tcpipConfig.cmake" "$cmake_dir/omron_fins_tcpipConfigVersion.cmake" \
  "$cmake_dir/omron_fins_tcpipTargets.cmake" "$cmake_dir/omron_fins_tcpipTargets-release.cmake" \
  $(docs libomron-fins-tcpip-dev)
# shellcheck disable=SC2046
expect_files "$DIST/fins-tools_${version}_armhf.deb" usr/bin/fins-host usr/bin/fins-plcsim \
  usr/share/man/man1/fins-host.1.gz usr/share/man/man1/fins-plcsim.1.gz $(docs fins-tools)

# Every ELF file: 32-bit ARM, hard float, the panel's loader, no run path.
binaries=0
while read -r file; do
  header=$(readelf -h "$file")
  grep -q 'Class:.*ELF32' <<<"$header" && grep -q 'Machine:.*ARM' <<<"$header" &&
    grep -q 'Flags:.*hard-float' <<<"$header" || fail "${file#"$root"/} is not armhf: $header"
  readelf -d "$file" | grep -qE 'R(UN)?PATH' && fail "${file#"$root"/} carries a run path"
  interp=$(readelf -l "$file" | sed -n 's/.*Requesting program interpreter: \(.*\)]/\1/p')
  [[ -z $interp || $interp == /lib/ld-linux-armhf.so.3 ]] || fail "${file#"$root"/} asks for $interp"
  binaries=$((binaries + 1))
done < <(find "$root" -type f -exec sh -c 'head -c 4 "$1" | grep -q "ELF"' _ {} \; -print)
[[ $binaries -eq 3 ]] || fail "$binaries ELF files in the armhf packages, not 3"
say "armhf: package contents as expected; 3 binaries, all ELF32 ARM hard-float, /lib/ld-linux-armhf.so.3, no run path"

# The consumer, cross-built against the unpacked development package, loading the
# packaged library under qemu-arm (its run path: the toolchain's, to the C++ and Qt
# libraries of this machine's cross folders, and the one CMake adds for the driver).
cmake -S examples/consumer -B "$work/consumer-armhf" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-armhf.cmake" \
  -Domron_fins_tcpip_DIR="$root/$libdir/cmake/omron_fins_tcpip" \
  >"$work/consumer-armhf.log" 2>&1 && cmake --build "$work/consumer-armhf" >>"$work/consumer-armhf.log" 2>&1 ||
  { cat "$work/consumer-armhf.log" >&2; fail "the armhf consumer does not build"; }
qemu-arm -E LD_DEBUG=libs "$work/consumer-armhf/fins_consumer" >"$work/consumer.out" 2>"$work/ld.log" ||
  { cat "$work/consumer.out"; fail "the armhf consumer under qemu-arm"; }
grep -q "calling init: $root/$libdir/libomron_fins_tcpip.so.1\$" "$work/ld.log" ||
  fail "the armhf consumer did not load the packaged library"
say "armhf: consumer under qemu-arm with the packaged library: $(tail -1 "$work/consumer.out")"
