#!/bin/bash
# Signs an installed MorraRussianLumenInstaller.app from the inside out: every library and plug-in
# in it, then every framework, then the application itself; then checks the whole bundle.
#
#   packaging/macos/sign.sh APP [IDENTITY]
#
# IDENTITY is a "Developer ID Application: …" certificate in the keychain, or "-" (the default) for
# an ad-hoc signature. `cmake --install` runs this script with the cache variable
# MORRA_LUMEN_SIGN_IDENTITY after Qt's deployment, which changes the binaries it copies.
#
# With a certificate, every signature has the hardened runtime and a secure timestamp, as
# notarization requires. The program needs no entitlements: it runs no generated code and loads only
# libraries signed together with it. An ad-hoc signature gets neither option: it has no team, and the
# hardened runtime's library validation would refuse the bundle's own frameworks at launch; ad-hoc
# builds (CI, local tests) are never notarized.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -d "$1/Contents/MacOS" ]; then
    echo "usage: $0 APP [IDENTITY]   (APP: an application bundle; IDENTITY: a certificate or - for ad-hoc)" >&2
    exit 2
fi
app=${1%/}
identity=${2:--}

if [ "$identity" = "-" ]; then
    options=(--force --sign - --timestamp=none)
else
    options=(--force --sign "$identity" --options runtime --timestamp)
fi

# Extended attributes (Finder information, resource forks) would make the signature invalid.
xattr -cr "$app"

sign() {
    echo "signing ${1#"$app"/}"
    codesign "${options[@]}" "$1"
}

# Inner code first: each signature seals the code nested in it, so what is nested must already
# carry its final signature.
while IFS= read -r -d '' library; do
    sign "$library"
done < <(find "$app/Contents" -type f \( -name '*.dylib' -o -name '*.so' \) -print0)
if [ -d "$app/Contents/Frameworks" ]; then
    while IFS= read -r -d '' framework; do
        sign "$framework"
    done < <(find "$app/Contents/Frameworks" -maxdepth 1 -type d -name '*.framework' -print0)
fi
sign "$app"

codesign --verify --deep --strict --verbose=2 "$app"
