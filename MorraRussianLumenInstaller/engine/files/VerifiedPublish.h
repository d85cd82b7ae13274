#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "files/FileManager.h"
#include "files/TemporaryFiles.h"

namespace morra::files {

// How the verified content takes the target's name.
enum class Placement {
    Replace,    // the target exists: it is replaced in one step
    CreateNew,  // the target must not exist: an existing name is refused (EEXIST)
};

// Every file the installer writes is made the same way: the new content is written into a hidden
// temporary sibling of the target, its digest is checked, it is on stable storage, and only then
// does it take the target's name, so the target's path names the old content or the new one,
// never a part of either. `produce` writes the content, flushed, into the temporary it is given
// and returns the content's SHA-256 (of what is in the file, not of what it meant to write).
// Unless that digest is `expectedDigest`, an InstallerError with `mismatchMessage` is thrown and
// the target is untouched. The temporary is deleted on every way out.
void publishVerified(const FileManager& fileManager, const std::filesystem::path& target, TemporaryRole role,
                     Placement placement, const std::function<std::string(const std::filesystem::path&)>& produce,
                     const std::string& expectedDigest, const std::string& mismatchMessage);

// The one copy step: `source` copied into the temporary (cloned where the volume can), the copy's
// digest checked, then published as above.
void publishCopy(const FileManager& fileManager, const std::filesystem::path& target, const std::filesystem::path& source,
                 TemporaryRole role, Placement placement, const std::string& expectedDigest,
                 const std::string& mismatchMessage);

// Create or keep: publishes a copy under a name that must be free. Where another run took the name
// at the same moment, its file is kept and false is returned (the caller judges that file).
bool publishCopyOrKeep(const FileManager& fileManager, const std::filesystem::path& target,
                       const std::filesystem::path& source, TemporaryRole role, const std::string& expectedDigest,
                       const std::string& mismatchMessage);

}  // namespace morra::files
