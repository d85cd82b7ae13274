#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "bsdiff/BsdiffApplier.h"
#include "files/FileManager.h"

namespace morra::bsdiff {

struct PatchedFile {
    std::string digest;  // SHA-256 of the new file, 64 lower-case hexadecimal characters
    std::uint64_t size = 0;
};

struct BsdiffFileOptions {
    // Flush the new file to stable storage before returning (needed before it takes a name that
    // someone relies on; an intermediate output of a chain can skip it).
    bool sync = true;
    BsdiffOptions applier;
};

// What "bspatch oldFile newFile patchFile" does, in-process: applies the patch to the old file and
// writes the new file, which is created exclusively (nothing may exist at its path) and hashed as
// it is written, so it never needs to be read back to be checked. All file access goes through the
// file manager, which hears of every byte written. Any failure, including the file system's (a
// missing file, a full disk), throws BsdiffError with the text the tool would print on its
// standard error, for example "bspatch: Corrupt patch\n" or "bspatch: /dir/new: No space left on
// device\n" (a hidden temporary named by the file it stands in for); the new file is then deleted.
// The size of the file a patch makes, as its header says; nothing when the header cannot be read
// or is not a BSDIFF40 header.
std::optional<std::uint64_t> patchOutputSize(const files::FileManager& fileManager,
                                             const std::filesystem::path& patchFile);

PatchedFile applyBsdiffFile(const files::FileManager& fileManager, const std::filesystem::path& oldFile,
                            const std::filesystem::path& newFile, const std::filesystem::path& patchFile,
                            const BsdiffFileOptions& options = {});

}  // namespace morra::bsdiff
