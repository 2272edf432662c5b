#!/usr/bin/env bash
# Builds the Debian package (CPack's DEB generator) in a build folder of its own:
# installed under /usr, built with Debian's hardening flags, stripped, with dependencies
# from dpkg-shlibdeps plus lame; then runs lintian on it when lintian is there.
# Usage: scripts/package.sh [BUILD_DIR]   (default: build-pkg); prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
out=${1:-build-pkg}
mkdir -p "$out"

# Reproducible: the changelog date and file times come from the last commit.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH
# Debian's compiler and linker flags, all hardening on (fortify, stack protector, relro,
# bind now).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Build type None: the flags above and nothing else, as Debian builds (given as cache
# values too: the environment only seeds a new build folder).
cmake -S . -B "$out" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DVARNELCD_BUILD_TESTS=OFF -DVARNELCD_BUILD_BENCH=OFF -DVARNELCD_DEBIAN_FILES=ON \
  "-DCMAKE_C_FLAGS=$CFLAGS" "-DCMAKE_CXX_FLAGS=$CXXFLAGS" "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS" \
  "-DCMAKE_STRIP=$PWD/resources/debian/strip" > "$out/configure.log" \
  || { cat "$out/configure.log"; exit 1; }
cmake --build "$out"
(cd "$out" && cpack -G DEB > cpack.log) || { cat "$out/cpack.log"; exit 1; }

deb=$(ls -t "$out"/varnelcd_*.deb | head -1)
if command -v lintian > /dev/null; then
  echo "== lintian $deb"
  lintian --info --display-info "$deb" || true
fi
echo "$deb"
