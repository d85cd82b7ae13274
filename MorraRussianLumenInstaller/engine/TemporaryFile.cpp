#include "TemporaryFile.h"

#include <unistd.h>

#if defined(__APPLE__)
#include <uuid/uuid.h>
#else
#include <uuid/uuid.h>
#endif

namespace morra {

namespace fs = std::filesystem;

std::string makeUuidText() {
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[37];
    uuid_unparse_upper(uuid, text);
    return std::string(text);
}

fs::path temporarySibling(const fs::path& target, const std::string& infix) {
    return target.parent_path() / ("." + target.filename().string() + infix + makeUuidText());
}

namespace {

bool isUuidText(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

}  // namespace

void removeStaleTemporaries(const std::vector<fs::path>& targets) {
    static const char* const kInfixes[] = {".restoring-", ".updating-", ".installing-", ".russianblind-"};
    for (const fs::path& target : targets) {
        std::error_code error;
        for (fs::directory_iterator entry(target.parent_path(), error), end; !error && entry != end;
             entry.increment(error)) {
            const std::string name = entry->path().filename().string();
            for (const char* infix : kInfixes) {
                const std::string prefix = "." + target.filename().string() + infix;
                if (name.size() == prefix.size() + 36 && name.compare(0, prefix.size(), prefix) == 0 &&
                    isUuidText(name.substr(prefix.size())) && !entry->is_directory())
                    ::unlink(entry->path().c_str());
            }
        }
    }
}

TemporaryFiles::~TemporaryFiles() {
    for (const fs::path& path : paths_) ::unlink(path.c_str());
}

const fs::path& TemporaryFiles::add(fs::path path) {
    paths_.push_back(std::move(path));
    return paths_.back();
}

}  // namespace morra
