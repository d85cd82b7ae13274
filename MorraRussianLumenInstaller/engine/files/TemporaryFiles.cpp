#include "files/TemporaryFiles.h"

#include <uuid/uuid.h>

#include <array>
#include <system_error>

namespace morra::files {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kUuidLength = 36;

constexpr std::array<const char*, 5> kInfixes = {".restoring-", ".updating-", ".installing-", ".russianblind-",
                                                 ".backing-up-"};

bool isUuidText(std::string_view text) {
    if (text.size() != kUuidLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// The name of the file that a temporary's name stands in for, or empty when it is no temporary.
std::string standInName(const std::string& name) {
    if (name.size() <= 1 + kUuidLength || name[0] != '.' || !isUuidText(std::string_view(name).substr(name.size() - kUuidLength)))
        return {};
    const std::string_view rest = std::string_view(name).substr(1, name.size() - 1 - kUuidLength);
    for (const char* infix : kInfixes) {
        const std::string_view suffix(infix);
        if (rest.size() > suffix.size() && rest.substr(rest.size() - suffix.size()) == suffix)
            return std::string(rest.substr(0, rest.size() - suffix.size()));
    }
    return {};
}

}  // namespace

std::string makeUuidText() {
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[kUuidLength + 1];
    uuid_unparse_upper(uuid, text);
    return std::string(text);
}

fs::path temporarySibling(const fs::path& target, TemporaryRole role) {
    // Appended in place: GCC 12 at -O3 misreads "literal" + std::string&& as an overlapping copy.
    std::string name = ".";
    name += target.filename().string();
    name += kInfixes[static_cast<std::size_t>(role)];
    name += makeUuidText();
    return target.parent_path() / name;
}

fs::path standInTarget(const fs::path& path) {
    const std::string name = standInName(path.filename().string());
    return name.empty() ? path : path.parent_path() / name;
}

void removeStaleTemporaries(const FileManager& fileManager, const std::vector<fs::path>& targets) {
    for (const fs::path& target : targets) {
        std::vector<std::string> names;
        try {
            names = fileManager.directoryEntries(target.parent_path());
        } catch (const std::system_error&) {
            continue;  // a folder that cannot be listed holds nothing we could delete
        }
        for (const std::string& name : names)
            if (standInName(name) == target.filename().string()) fileManager.discard(target.parent_path() / name);
    }
}

TemporaryFiles::~TemporaryFiles() {
    for (const fs::path& path : paths_) fileManager_.discard(path);
}

const fs::path& TemporaryFiles::add(fs::path path) {
    paths_.push_back(std::move(path));
    return paths_.back();
}

}  // namespace morra::files
