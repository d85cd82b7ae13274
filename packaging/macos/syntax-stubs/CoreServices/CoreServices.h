// Follows Apple's Launch Services reference (LSInfo.h) for LSCopyApplicationURLsForBundleIdentifier:
// the bundle identifier as a CFStringRef, an optional CFErrorRef out-parameter, the URLs as a
// CFArrayRef the caller releases. Deprecated since macOS 12 in favour of NSWorkspace, as the SDK
// marks it, so a call compiles without a warning only where the warning is silenced on purpose.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

extern "C" {
__attribute__((deprecated("Use -[NSWorkspace URLsForApplicationsWithBundleIdentifier:] instead.")))
CFArrayRef LSCopyApplicationURLsForBundleIdentifier(CFStringRef inBundleIdentifier, CFErrorRef* outError);
}
