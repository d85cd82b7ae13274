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

TemporaryFiles::~TemporaryFiles() {
    for (const fs::path& path : paths_) ::unlink(path.c_str());
}

const fs::path& TemporaryFiles::add(fs::path path) {
    paths_.push_back(std::move(path));
    return paths_.back();
}

}  // namespace morra
