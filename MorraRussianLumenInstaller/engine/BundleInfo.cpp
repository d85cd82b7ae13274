#include "BundleInfo.h"

#include <plist/plist.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace morra {

namespace fs = std::filesystem;

namespace {

// A real Info.plist is a few kilobytes; anything this large is not one.
constexpr std::uintmax_t kMaximumPropertyListSize = 4 << 20;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

std::optional<std::string> stringValue(plist_t dictionary, const char* key) {
    plist_t node = plist_dict_get_item(dictionary, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(node, &value);
    if (!value) return std::nullopt;
    std::string text(value);
    std::free(value);
    return text;
}

}  // namespace

BundleInfo parseBundleInfo(const std::string& propertyList) {
    BundleInfo info;
    if (propertyList.empty() || propertyList.size() > kMaximumPropertyListSize) return info;
    plist_t root = nullptr;
    plist_from_memory(propertyList.data(), static_cast<uint32_t>(propertyList.size()), &root);
    PlistPointer owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) return info;
    info.identifier = stringValue(root, "CFBundleIdentifier");
    info.executable = stringValue(root, "CFBundleExecutable");
    return info;
}

std::optional<BundleInfo> readBundleInfo(const fs::path& bundle) {
    struct stat status {};
    if (::stat(bundle.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
    const fs::path infoPath = bundle / "Contents" / "Info.plist";
    std::error_code error;
    if (!fs::is_regular_file(infoPath, error)) return BundleInfo{};
    std::uintmax_t size = fs::file_size(infoPath, error);
    if (error || size > kMaximumPropertyListSize) return BundleInfo{};
    std::ifstream stream(infoPath, std::ios::binary);
    if (!stream) return BundleInfo{};
    std::string contents((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad()) return BundleInfo{};
    return parseBundleInfo(contents);
}

}  // namespace morra
