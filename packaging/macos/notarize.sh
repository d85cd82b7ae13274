#!/bin/bash
# Has Apple's notary service check a signed application bundle or disk image, staples the ticket to
# it and checks the result as Gatekeeper will.
#
#   packaging/macos/notarize.sh ITEM PROFILE
#
# ITEM: MorraRussianLumenInstaller.app or a .dmg, signed with a Developer ID certificate (sign.sh,
# make-dmg.sh). PROFILE: the name of a notarytool keychain profile, made once on the signing Mac:
#
#   xcrun notarytool store-credentials PROFILE --apple-id APPLE_ID --team-id TEAM_ID
#
# which asks for an app-specific password and keeps it in the keychain. The credentials never appear
# in the repository, in this script or on its command line.
set -euo pipefail

if [ $# -ne 2 ] || [ -z "$2" ] || [ ! -e "$1" ]; then
    echo "usage: $0 ITEM.app|ITEM.dmg PROFILE" >&2
    exit 2
fi
item=${1%/}
profile=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The service takes a zip archive of a bundle, a disk image as it is.
case "$item" in
    *.app)
        upload="$work/$(basename "$item" .app).zip"
        ditto -c -k --keepParent "$item" "$upload"
        ;;
    *.dmg)
        upload=$item
        ;;
    *)
        echo "$0: $item is neither an application bundle (.app) nor a disk image (.dmg)" >&2
        exit 2
        ;;
esac

# Waits for the verdict; its status decides, whatever the exit code of the submission.
xcrun notarytool submit "$upload" --keychain-profile "$profile" --wait --output-format json \
    >"$work/result.json" || true
status=$(plutil -extract status raw -o - "$work/result.json" 2>/dev/null || echo "no answer")
id=$(plutil -extract id raw -o - "$work/result.json" 2>/dev/null || true)
echo "notarization ${id:-(no submission id)}: $status"
if [ "$status" != "Accepted" ]; then
    cat "$work/result.json" >&2
    # The service's log names each file it refused and why.
    if [ -n "$id" ]; then
        xcrun notarytool log "$id" --keychain-profile "$profile" >&2 || true
    fi
    exit 1
fi

# The ticket goes into the item itself, so Gatekeeper accepts it without asking Apple's servers.
xcrun stapler staple "$item"
xcrun stapler validate "$item"
case "$item" in
    *.app) spctl --assess --type execute --verbose=2 "$item" ;;
    *.dmg) spctl --assess --type open --context context:primary-signature --verbose=2 "$item" ;;
esac
