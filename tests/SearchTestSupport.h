#pragma once

// Info.plist files for bundles made by the tests.

#include <string>
#include <string_view>

#include "TestSupport.h"

namespace morra::test {

inline std::string plistString(std::string_view key, std::string_view value) {
    return "\t<key>" + std::string(key) + "</key>\n\t<string>" + std::string(value) + "</string>\n";
}

// An XML Info.plist with the given entries (already formatted dictionary members).
inline std::string infoPlist(const std::string& members) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" + members + "</dict>\n</plist>\n";
}

}  // namespace morra::test
