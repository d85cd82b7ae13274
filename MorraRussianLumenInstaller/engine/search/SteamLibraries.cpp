#include "search/SteamLibraries.h"

#include "files/FileManager.h"
#include "text/Utf8.h"

namespace morra::search {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPathKey = "\"path\"";

unsigned char byteAt(std::string_view text, std::size_t index) { return static_cast<unsigned char>(text[index]); }

// The length in bytes of the white-space character at index, or 0 when there is none there.
// The text is valid UTF-8, so a matching lead byte sequence is a whole character.
std::size_t whiteSpaceLength(std::string_view text, std::size_t index) {
    const std::size_t left = text.size() - index;
    const unsigned char first = byteAt(text, index);
    if ((first >= 0x09 && first <= 0x0D) || first == 0x20) return 1;
    if (left < 2) return 0;
    const unsigned char second = byteAt(text, index + 1);
    if (first == 0xC2) return second == 0x85 || second == 0xA0 ? 2 : 0;  // NEL, NO-BREAK SPACE
    if (left < 3) return 0;
    const unsigned char third = byteAt(text, index + 2);
    switch (first) {
    case 0xE1:  // U+1680 OGHAM SPACE MARK
        return second == 0x9A && third == 0x80 ? 3 : 0;
    case 0xE2:
        if (second == 0x80) {
            // U+2000..U+200A, U+2028, U+2029, U+202F
            return (third >= 0x80 && third <= 0x8A) || third == 0xA8 || third == 0xA9 || third == 0xAF ? 3 : 0;
        }
        return second == 0x81 && third == 0x9F ? 3 : 0;  // U+205F
    case 0xE3:  // U+3000 IDEOGRAPHIC SPACE
        return second == 0x80 && third == 0x80 ? 3 : 0;
    default:
        return 0;
    }
}

}  // namespace

// The pattern is "path", then one or more white-space characters, then a quote, then one or more
// characters other than a quote, then a quote. Neither part before the value can give back
// characters to let a match succeed (white space is never a quote, and the value's characters are
// never quotes), so an attempt either succeeds with the longest runs or fails at that start.
// The runs that failed attempts read contain no quote and so no later start: each byte is read a
// bounded number of times and the scan is linear.
std::optional<std::vector<std::string>> libraryFolderPathValues(std::string_view text) {
    if (!text::isValidUtf8(text)) return std::nullopt;
    std::vector<std::string> values;
    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t start = text.find(kPathKey, searchFrom);
        if (start == std::string_view::npos) break;
        std::size_t index = start + kPathKey.size();
        const std::size_t spaceStart = index;
        while (index < text.size()) {
            const std::size_t length = whiteSpaceLength(text, index);
            if (length == 0) break;
            index += length;
        }
        if (index > spaceStart && index < text.size() && text[index] == '"') {
            const std::size_t valueStart = index + 1;
            const std::size_t valueEnd = text.find('"', valueStart);
            if (valueEnd == std::string_view::npos) break;  // no quote left: no match can follow
            if (valueEnd > valueStart) {
                values.emplace_back(text.substr(valueStart, valueEnd - valueStart));
                searchFrom = valueEnd + 1;
                continue;
            }
        }
        searchFrom = start + 1;
    }
    return values;
}

std::string collapseDoubledBackslashes(std::string_view value) {
    std::string result;
    result.reserve(value.size());
    for (std::size_t index = 0; index < value.size(); ++index) {
        result.push_back(value[index]);
        if (value[index] == '\\' && index + 1 < value.size() && value[index + 1] == '\\') ++index;
    }
    return result;
}

fs::path libraryFoldersFile(const fs::path& steamRoot) { return steamRoot / "steamapps" / "libraryfolders.vdf"; }

std::vector<fs::path> steamLibraryRoots(const files::FileManager& fileManager, const fs::path& home) {
    std::vector<fs::path> roots{home / "Library" / "Application Support" / "Steam"};
    std::optional<std::string> contents;
    try {
        // Read only as a whole regular file of sensible size: a pipe or a device in its place
        // would never end.
        contents = fileManager.readContents(libraryFoldersFile(roots.front()), kLibraryFoldersSizeLimit);
    } catch (const std::exception&) {
        // An unreadable list adds no library.
    }
    if (!contents) return roots;
    const std::optional<std::vector<std::string>> values = libraryFolderPathValues(*contents);
    if (!values) return roots;
    for (const std::string& value : *values) {
        std::string path = collapseDoubledBackslashes(value);
        if (path.find('\0') != std::string::npos) continue;
        roots.emplace_back(std::move(path));
    }
    return roots;
}

}  // namespace morra::search
