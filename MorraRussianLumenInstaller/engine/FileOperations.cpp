#include "Engine.h"
#include "TemporaryFile.h"

namespace morra {

namespace fs = std::filesystem;

// Both replacements build the new content in a hidden sibling of the target, flush it to stable
// storage and only then rename it over the target (the directory is flushed after the rename), so
// the target's path names either the old or the new content, never a part of either. The sibling
// is deleted on every way out; after the rename its name no longer exists.

void Engine::replaceAtomically(const fs::path& target, const fs::path& contentsOf) const {
    TemporaryFiles temporaries(fileManager_);
    const fs::path& temporary = temporaries.add(temporarySibling(target, ".restoring-"));
    fileManager_.copyItem(contentsOf, temporary);
    fileManager_.replaceItem(target, temporary);
}

void Engine::replaceAtomically(const fs::path& target, const std::string& contents) const {
    TemporaryFiles temporaries(fileManager_);
    const fs::path& temporary = temporaries.add(temporarySibling(target, ".updating-"));
    const mode_t permissions = fileManager_.permissions(target);
    {
        FileHandle handle = fileManager_.createNewFile(temporary, 0600);
        handle.write(contents.data(), contents.size());
        fileManager_.setPermissions(temporary, permissions);
        handle.sync();
    }
    fileManager_.replaceItem(target, temporary);
}

}  // namespace morra
