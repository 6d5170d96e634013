#!/usr/bin/env bash
# Builds a release of Falavox and makes its Debian package:
# dist/falavox_<version>_<architecture>.deb, then checks it with lintian.
#
#   scripts/package.sh [BUILD_DIR] [CMAKE_OPTION ...]
#
# The build tree is BUILD_DIR (build-release/ when none is given); the compiler and linker
# flags are Debian's own (dpkg-buildflags, with every hardening option), as for any package
# of the archive. scripts/test.sh builds its tests in the same tree as the package
# (BUILD_DIR build, with the tests' options), so that the program tested is the one shipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${1:-build-release}
shift || true

scripts/deps.sh

version=$(sed -n 's/^project(Falavox VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
logged=$(dpkg-parsechangelog -l packaging/changelog -S Version)
if [[ "$version" != "$logged" ]]; then
    echo "package.sh: the program is version $version but packaging/changelog ends at" \
        "$logged: add an entry for $version first" >&2
    exit 1
fi

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# The preprocessor's flags (_FORTIFY_SOURCE) go with the compiler's. They are given to
# CMake each time, since a tree keeps the flags it was first made with. The build type adds
# only what Debian's flags already say (-O2 -g) and NDEBUG.
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# A new tree holds the program alone; options given on the command line come last and win.
options=()
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    options=(-DFALAVOX_TESTS=OFF -DFALAVOX_BENCH=OFF)
fi
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_STRIP="$root/packaging/strip-like-debian.sh" "${launcher[@]}" "$@"
cmake --build "$build_dir" -j "$(nproc)"

rm -rf "$build_dir/_CPack_Packages" dist/falavox_*.deb
(cd "$build_dir" && cpack -G DEB -B "$root/dist")
rm -rf dist/_CPack_Packages
package="dist/falavox_${version}_$(dpkg --print-architecture).deb"
ls -l "$package"

# What the package recommends is what the desktops and the network list need.
recommends=$(dpkg-deb -f "$package" Recommends)
for wanted in qt6-wayland avahi-daemon smbclient; do
    if [[ ", $recommends," != *", $wanted,"* ]]; then
        echo "package.sh: the package does not recommend $wanted (Recommends: $recommends)" >&2
        exit 1
    fi
done

# An error or a warning fails the package; notes are shown too.
lintian --display-info --fail-on error,warning "$package"
