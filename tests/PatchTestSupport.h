#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "TestSupport.h"
#include "bsdiff/BsdiffApplier.h"
#include "files/FileManager.h"

// The tests that compare with the bsdiff tools skip, saying so, where the system has none.
#define MORRA_NEEDS_TOOL(name) \
    if (::morra::test::systemTool(name).empty()) GTEST_SKIP() << name << " is not installed on this system"

namespace morra::test {

// ---- Hand-made BSDIFF40 patches, including malformed ones ----

// A number as the patch format writes it.
std::string encodeOffset(std::int64_t value);

struct RawControl {
    std::int64_t add = 0, copy = 0, seek = 0;
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

// The system's bspatch on files in a temporary folder.
PatchOutcome runBspatch(const std::string& oldData, const std::string& patch);
// The in-process applier over memory.
PatchOutcome applyInMemory(const std::string& oldData, const std::string& patch, bool parallel);
// bsdiff's own patch between two byte strings.
std::string runBsdiff(const std::string& oldData, const std::string& newData);

// The text with every upper-case UUID replaced by "<uuid>", so that temporary names compare exactly.
std::string maskUuids(const std::string& text);

unsigned modeOf(const std::filesystem::path& path);

// snapshot() with each file's contents replaced by its digest, for readable failures.
std::map<std::string, std::string> digests(const std::filesystem::path& folder);

// ---- Fault injection through the file manager's hook ----

struct FileCall {
    FileOperation operation;
    std::filesystem::path path;
};

// Records every file-system call and makes chosen ones fail. Safe to use from several threads.
class FaultInjector {
public:
    // The next calls of `operation` whose path's file name contains `nameFragment` (any, when
    // empty) fail with `error`, after `skip` matching calls have been let through.
    void fail(FileOperation operation, std::string nameFragment, int error, int skip = 0);
    FileManager fileManager() const;
    std::vector<FileCall> calls() const;
    std::vector<std::filesystem::path> callsOf(FileOperation operation) const;
    // Position of the first call of `operation` on `path` (calls().size() when there is none).
    std::size_t indexOf(FileOperation operation, const std::filesystem::path& path) const;

private:
    struct Rule {
        FileOperation operation;
        std::string fragment;
        int error, skip;
    };
    struct State {
        std::mutex mutex;
        std::vector<Rule> rules;
        std::vector<FileCall> calls;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The one temporary sibling the call created is named "<prefix><uuid>" and was flushed before it
// took the target's name; the target's folder is flushed after the rename.
void expectDurablyPublished(const FaultInjector& injector, const std::filesystem::path& target, const std::string& prefix);

}  // namespace morra::test
