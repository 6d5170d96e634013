#!/usr/bin/env bash
# Builds a release of Falavox and makes its Debian package:
# dist/falavox_<version>_<architecture>.deb, then checks it with lintian.
# The build tree is build-release/; the compiler and linker flags are Debian's own
# (dpkg-buildflags, with every hardening option), as for any package of the archive.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

version=$(sed -n 's/^project(Falavox VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
logged=$(dpkg-parsechangelog -l packaging/changelog -S Version)
if [[ "$version" != "$logged" ]]; then
    echo "package.sh: the program is version $version but packaging/changelog ends at" \
        "$logged: add an entry for $version first" >&2
    exit 1
fi

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake reads CXXFLAGS and LDFLAGS from the environment; the preprocessor's flags
# (_FORTIFY_SOURCE) go with the compiler's.
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DFALAVOX_TESTS=OFF \
    -DFALAVOX_BENCH=OFF -DCMAKE_STRIP="$PWD/packaging/strip-like-debian.sh" "${launcher[@]}"
cmake --build build-release -j "$(nproc)" --target falavox falavox_install_data

rm -rf build-release/_CPack_Packages dist/falavox_*.deb
(cd build-release && cpack -G DEB -B "$PWD/../dist")
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
