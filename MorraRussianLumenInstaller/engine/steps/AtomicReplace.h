#pragma once

#include <filesystem>
#include <string>

namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::steps {

// Makes the existing file at `target` hold exactly the bytes of the file at `contentsOf` (which
// stays as it is). The copy must have `expectedDigest`, else `mismatchMessage` is thrown and the
// target keeps its content.
void replaceAtomically(const files::FileManager& fileManager, const std::filesystem::path& target,
                       const std::filesystem::path& contentsOf, const std::string& expectedDigest,
                       const std::string& mismatchMessage);

// Makes the existing file at `target` hold exactly `contents`, keeping its permission bits.
void replaceAtomically(const files::FileManager& fileManager, const std::filesystem::path& target,
                       const std::string& contents);

}  // namespace morra::steps
