#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "files/FileManager.h"

namespace morra::files {

// The hidden files the installer writes beside a file before they take its name, by the infix
// in their names: "." + the file's name + the infix + a fresh UUID.
enum class TemporaryRole {
    Restoring,   // ".restoring-": a backup copied back over a game file
    Updating,    // ".updating-": bytes written from memory (the game's settings)
    Installing,  // ".installing-": a copied or patched added bundle
    Patching,    // ".russianblind-": each output of a game asset's chain of patches
    BackingUp,   // ".backing-up-": a backup being made
};

// A random version-4 UUID in upper-case text (8-4-4-4-12 hexadecimal digits).
std::string makeUuidText();

// "." + the target's name + the role's infix + a fresh UUID, in the target's own folder.
std::filesystem::path temporarySibling(const std::filesystem::path& target, TemporaryRole role);

// The file that a hidden temporary of ours stands in for; any other path as it is.
std::filesystem::path standInTarget(const std::filesystem::path& path);

// Deletes what a killed earlier run may have left beside each of the given files: hidden
// temporaries of ours named after the file. Nothing else is touched; failures are ignored (a
// temporary that cannot be deleted harms nothing). Call it only while holding the game's lock, so
// that no live operation's temporaries are among them.
void removeStaleTemporaries(const FileManager& fileManager, const std::vector<std::filesystem::path>& targets);

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

}  // namespace morra::files
