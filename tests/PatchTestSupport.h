#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BsdiffApplier.h"
#include "FileManager.h"

namespace morra::test {

// ---- Hand-made BSDIFF40 patches, including malformed ones ----

// A number as the patch format writes it: 8 bytes, little-endian sign and magnitude.
std::string encodeOffset(std::int64_t value);

struct RawControl {
    std::int64_t add = 0;
    std::int64_t copy = 0;
    std::int64_t seek = 0;
};

std::string controlBlock(const std::vector<RawControl>& controls);

// Header and three already-compressed blocks; the header's block lengths default to the real ones.
std::string assemblePatch(const std::string& compressedControl, const std::string& compressedDiff,
                          const std::string& compressedExtra, std::int64_t newSize,
                          std::optional<std::int64_t> controlLength = std::nullopt,
                          std::optional<std::int64_t> diffLength = std::nullopt);

// Compresses the raw blocks and assembles them.
std::string rawPatch(const std::vector<RawControl>& controls, const std::string& diff, const std::string& extra,
                     std::int64_t newSize);

std::string randomBytes(std::uint64_t seed, std::size_t size);

// ---- Running the two appliers ----

struct PatchOutcome {
    bool succeeded = false;
    std::string output;  // the new file's bytes, when succeeded
    std::string error;   // the tool-style text, when failed

    bool operator==(const PatchOutcome&) const = default;
};

// /usr/bin/bspatch on files in a temporary folder.
PatchOutcome runBspatch(const std::string& oldData, const std::string& patch);
// The in-process applier over memory.
PatchOutcome applyInMemory(const std::string& oldData, const std::string& patch, bool parallel);

// bsdiff's own patch between two byte strings (/usr/bin/bsdiff).
std::string runBsdiff(const std::string& oldData, const std::string& newData);

// ---- Fault injection through the file manager's hook ----

struct FileCall {
    FileOperation operation;
    std::filesystem::path path;
};

// Records every file-system call and makes chosen ones fail. Safe to use from several threads.
class FaultInjector {
public:
    FaultInjector();

    // The next calls of `operation` whose path's file name contains `nameFragment` (any, when
    // empty) fail with `error`, after `skip` matching calls have been let through.
    void fail(FileOperation operation, std::string nameFragment, int error, int skip = 0);
    FileManager fileManager() const;
    std::vector<FileCall> calls() const;
    // The calls of one operation, in order.
    std::vector<std::filesystem::path> callsOf(FileOperation operation) const;

private:
    struct Rule {
        FileOperation operation;
        std::string fragment;
        int error;
        int skip;
    };
    struct State {
        std::mutex mutex;
        std::vector<Rule> rules;
        std::vector<FileCall> calls;
    };
    std::shared_ptr<State> state_;
};

// A file's bytes, or "(absent)" when nothing is at the path.
std::string contentsOrAbsent(const std::filesystem::path& path);

// Files in a folder (not recursive) whose names begin with "." and hold one of the temporary
// infixes, including the backup store's.
std::vector<std::string> temporariesIn(const std::filesystem::path& folder);

}  // namespace morra::test
