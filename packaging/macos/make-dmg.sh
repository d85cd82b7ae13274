#!/bin/bash
# Makes the disk image that players download: the signed application and a link to /Applications
# to drag it onto.
#
#   packaging/macos/make-dmg.sh APP DMG [IDENTITY]
#
# With IDENTITY (the Developer ID Application certificate that signed APP) the image is signed too,
# ready for notarize.sh; without it (or with "-") the image stays unsigned.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ] || [ ! -d "$1/Contents/MacOS" ] || [[ "$2" != *.dmg ]]; then
    echo "usage: $0 APP OUTPUT.dmg [IDENTITY]" >&2
    exit 2
fi
app=${1%/}
dmg=$2
identity=${3:--}

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
chmod 755 "$staging"
# ditto keeps the frameworks' symbolic links and the signatures as they are.
ditto "$app" "$staging/$(basename "$app")"
ln -s /Applications "$staging/Applications"

# hdiutil fails now and then with "Resource busy" while the system still holds the new image or
# its volume (seen on GitHub's hosted runners): a few more tries, a pause apart.
for attempt in 1 2 3 4 5; do
    if hdiutil create -volname "Русский (Lumen) для Morra Vellant" -srcfolder "$staging" \
        -fs HFS+ -format UDZO -ov "$dmg"; then
        break
    fi
    if [ "$attempt" -eq 5 ]; then
        echo "hdiutil create failed $attempt times" >&2
        exit 1
    fi
    echo "hdiutil create failed; trying again in $((attempt * 10)) seconds" >&2
    sleep $((attempt * 10))
done
if [ "$identity" != "-" ]; then
    codesign --force --sign "$identity" --timestamp "$dmg"
fi
hdiutil verify "$dmg"
