#include "game/BundleIdentity.h"

#include <plist/plist.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "files/FileManager.h"

namespace morra::game {

namespace fs = std::filesystem;

namespace {

// A real Info.plist is a few kilobytes with a handful of arrays and dictionaries, nested a few
// levels deep. These bounds are far above that and far below what could hurt the parser.
constexpr std::size_t kMaximumSize = 1 << 20;
constexpr std::size_t kMaximumXmlContainers = 256;
constexpr std::size_t kMaximumBinaryDepth = 32;
constexpr std::size_t kMaximumBinaryValues = 100000;

constexpr std::string_view kBinaryMagic = "bplist00";

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

std::size_t occurrences(std::string_view text, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// The parser recurses once per nested array or dictionary. Counting every opening tag, wherever
// it stands (even inside comments), bounds the depth from above whatever the parser makes of the
// rest.
bool xmlWithinBounds(std::string_view text) {
    return occurrences(text, "<array") + occurrences(text, "<dict") <= kMaximumXmlContainers;
}

// A binary property list: objects that refer to each other by index, found through an offset
// table described by the trailer. The parser builds one value per reference, recursively, so the
// references are walked here first: refused are references outside the list, containers nested
// deeper than the bound (a cycle is endless nesting) and lists whose values, counted as the
// parser would make them, exceed the bound.
class BinaryPlistWalk {
public:
    explicit BinaryPlistWalk(std::string_view bytes) : bytes_(bytes) {}

    bool withinBounds() {
        constexpr std::size_t kTrailer = 32;
        if (bytes_.size() < kBinaryMagic.size() + kTrailer) return false;
        const std::size_t trailer = bytes_.size() - kTrailer;
        offsetSize_ = byte(trailer + 6);
        referenceSize_ = byte(trailer + 7);
        std::uint64_t objects = 0, top = 0, table = 0;
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) return false;
        if (!number(trailer + 8, 8, objects) || !number(trailer + 16, 8, top) || !number(trailer + 24, 8, table))
            return false;
        if (objects == 0 || objects > bytes_.size() || top >= objects || table > trailer ||
            (trailer - table) / offsetSize_ < objects)
            return false;
        objects_ = objects;
        table_ = table;
        return visit(top, 0);
    }

private:
    unsigned byte(std::size_t at) const { return static_cast<unsigned char>(bytes_[at]); }

    // A big-endian unsigned number of `size` bytes at `at`, inside the list.
    bool number(std::size_t at, std::size_t size, std::uint64_t& value) const {
        if (at > bytes_.size() || bytes_.size() - at < size) return false;
        value = 0;
        for (std::size_t i = 0; i < size; ++i) value = (value << 8) | byte(at + i);
        return true;
    }

    bool visit(std::uint64_t object, std::size_t depth) {
        if (++values_ > kMaximumBinaryValues || depth > kMaximumBinaryDepth) return false;
        std::uint64_t offset = 0;
        if (!number(static_cast<std::size_t>(table_ + object * offsetSize_), offsetSize_, offset) || offset >= table_)
            return false;
        std::size_t at = static_cast<std::size_t>(offset);
        const unsigned marker = byte(at++);
        const unsigned type = marker >> 4;
        const bool container = type == 0xA || type == 0xB || type == 0xC || type == 0xD;
        if (!container) return true;
        std::uint64_t count = marker & 0x0f;
        if (count == 0x0f) {  // the count follows as an integer object
            if (at >= bytes_.size() || (byte(at) >> 4) != 0x1) return false;
            const std::size_t size = std::size_t{1} << (byte(at) & 0x0f);
            if (size > 8 || !number(at + 1, size, count)) return false;
            at += 1 + size;
        }
        const std::uint64_t references = type == 0xD ? 2 * count : count;
        if (references > (bytes_.size() - at) / referenceSize_) return false;
        for (std::uint64_t i = 0; i < references; ++i) {
            std::uint64_t child = 0;
            if (!number(at + static_cast<std::size_t>(i) * referenceSize_, referenceSize_, child) || child >= objects_)
                return false;
            if (!visit(child, depth + 1)) return false;
        }
        return true;
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t referenceSize_ = 0;
    std::uint64_t objects_ = 0;
    std::uint64_t table_ = 0;
    std::size_t values_ = 0;
};

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

bool hasAppExtension(const fs::path& bundle) {
    const std::string extension = bundle.extension().string();
    if (extension.size() != 4) return false;
    return std::equal(extension.begin(), extension.end(), ".app", [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

}  // namespace

BundleInfo parseBundleInfo(std::string_view propertyList) {
    BundleInfo info;
    if (propertyList.empty() || propertyList.size() > kMaximumSize) return info;
    plist_t root = nullptr;
    const auto size = static_cast<uint32_t>(propertyList.size());
    // Only the two forms an Info.plist has; each parser is called by itself, so a newer library
    // cannot widen what is accepted.
    if (propertyList.substr(0, kBinaryMagic.size()) == kBinaryMagic) {
        if (!BinaryPlistWalk(propertyList).withinBounds()) return info;
        plist_from_bin(propertyList.data(), size, &root);
    } else {
        if (!xmlWithinBounds(propertyList)) return info;
        plist_from_xml(propertyList.data(), size, &root);
    }
    const PlistPointer owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) return info;
    info.identifier = stringValue(root, "CFBundleIdentifier");
    info.executable = stringValue(root, "CFBundleExecutable");
    return info;
}

std::optional<BundleInfo> readBundleInfo(const files::FileManager& fileManager, const fs::path& bundle) {
    if (!fileManager.directoryExists(bundle)) return std::nullopt;
    try {
        const std::optional<std::string> contents =
            fileManager.readContents(bundle / "Contents" / "Info.plist", kMaximumSize);
        if (!contents) return BundleInfo{};
        return parseBundleInfo(*contents);
    } catch (const std::exception&) {
        return BundleInfo{};  // missing, unreadable or not a regular file: no values
    }
}

bool validateBundleIdentity(const files::FileManager& fileManager, const fs::path& bundle) {
    if (!hasAppExtension(bundle)) return false;
    const std::optional<BundleInfo> info = readBundleInfo(fileManager, bundle);
    return info && info->identifier == kBundleIdentifier && info->executable == kExecutableName;
}

}  // namespace morra::game
