#!/bin/bash
# Installs into DIR what the macOS release puts into its bundle or links into its program, all for
# macOS 14.0 whatever macOS this runs on:
# - Qt from the Qt Company's own macOS binaries (through aqtinstall), which are built for an older
#   macOS and carry their own copies of the libraries Qt needs (no Homebrew bottles);
# - OpenSSL (libcrypto) and libplist built from source as static libraries for macOS 14.0 by vcpkg
#   (manifest and triplet in packaging/macos/release-libraries), so that the bundle holds no copy
#   of them at all.
# Then writes DIR/env, lines NAME=VALUE for the build (CI adds them to its environment):
#   MORRA_QT_PREFIX    Qt, for CMAKE_PREFIX_PATH
#   MORRA_LIBS_PREFIX  the static libraries, for CMAKE_PREFIX_PATH and OPENSSL_ROOT_DIR
#
#   packaging/macos/release-dependencies.sh DIR
#
# DIR's path must not contain spaces. Needs python3 (aqtinstall comes into DIR/aqt) and vcpkg
# (VCPKG_ROOT, VCPKG_INSTALLATION_ROOT as on GitHub's runners, or vcpkg on the PATH); vcpkg builds
# OpenSSL and libplist with Apple's clang, which takes a few minutes. MORRA_QT_VERSION chooses
# another Qt release than the one tested here.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$1"
dir=$(cd "$1" && pwd)
if [[ $dir = *" "* ]]; then
    echo "$0: $dir contains a space" >&2
    exit 2
fi
qt_version=${MORRA_QT_VERSION:-6.10.1}

vcpkg_root=${VCPKG_ROOT:-${VCPKG_INSTALLATION_ROOT:-}}
if [ -n "$vcpkg_root" ]; then
    vcpkg=$vcpkg_root/vcpkg
elif vcpkg=$(command -v vcpkg); then
    # vcpkg finds its ports beside its real self, not beside a link to it.
    vcpkg=$(python3 -c 'import os, sys; print(os.path.realpath(sys.argv[1]))' "$vcpkg")
else
    echo "$0: vcpkg not found: set VCPKG_ROOT to a clone of https://github.com/microsoft/vcpkg (bootstrapped)" >&2
    exit 1
fi

# Qt: the Qt Company's binaries for macOS (universal, with their own third-party code inside the
# frameworks), with Qt's translations.
python3 -m venv "$dir/aqt"
"$dir/aqt/bin/pip" install --quiet "aqtinstall>=3.2,<4"
"$dir/aqt/bin/aqt" install-qt mac desktop "$qt_version" clang_64 --outputdir "$dir/Qt"
qt=$dir/Qt/$qt_version/macos
test -x "$qt/bin/macdeployqt" || { echo "$0: $qt has no macdeployqt" >&2; exit 1; }

# OpenSSL and libplist, static, for macOS 14.0 (the triplet names the deployment target).
MACOSX_DEPLOYMENT_TARGET=14.0 "$vcpkg" install \
    --x-manifest-root="$here/release-libraries" --x-install-root="$dir/vcpkg" \
    --overlay-triplets="$here/release-libraries" --triplet=arm64-osx-14
libs=$dir/vcpkg/arm64-osx-14

printf 'MORRA_QT_PREFIX=%s\nMORRA_LIBS_PREFIX=%s\n' "$qt" "$libs" | tee "$dir/env"
