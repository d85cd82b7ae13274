#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "FileManager.h"

namespace morra {

// A random version-4 UUID in upper-case text (8-4-4-4-12 hexadecimal digits).
std::string makeUuidText();

// "." + the target's name + infix + a fresh UUID, in the target's own directory.
std::filesystem::path temporarySibling(const std::filesystem::path& target, const std::string& infix);

// Deletes what a killed earlier run may have left next to each of the given files: hidden
// temporaries named "." + the file's name + one of the installer's infixes + a UUID. Nothing else
// is touched; failures are ignored (a temporary that cannot be deleted harms nothing).
void removeStaleTemporaries(const std::vector<std::filesystem::path>& targets);

// Deletes the files it holds when it goes out of scope, in the order they were added, ignoring
// every failure: clean-up never hides the error that is travelling.
class TemporaryFiles {
public:
    explicit TemporaryFiles(const FileManager& fileManager) : fileManager_(fileManager) {}
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;
    ~TemporaryFiles();

    const std::filesystem::path& add(std::filesystem::path path);

private:
    const FileManager& fileManager_;
    std::vector<std::filesystem::path> paths_;
};

}  // namespace morra
