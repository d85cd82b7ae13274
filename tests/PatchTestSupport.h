#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "TestSupport.h"  // paths, texts and the file service

namespace morra::test {

std::string randomBytes(std::uint64_t seed, std::size_t size);

// The text with every upper-case UUID replaced by "<uuid>".
std::string maskUuids(const std::string& text);

struct FileCall {
    files::FileOperation operation;
    std::filesystem::path path;
};

// Records every file-system call and makes chosen ones fail: the next calls of `operation` on a
// file whose name contains `nameFragment`, after `skip` of them were let through. Thread-safe.
class FaultInjector {
public:
    void fail(files::FileOperation operation, std::string nameFragment, int error, int skip = 0);
    files::FileManager fileManager() const;
    std::vector<FileCall> calls() const;
    std::vector<std::filesystem::path> callsOf(files::FileOperation operation) const;

private:
    struct Rule {
        files::FileOperation operation;
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

// Position of the first call of `operation` on `path` (calls.size() when there is none).
std::size_t indexOf(const std::vector<FileCall>& calls, files::FileOperation operation, const std::filesystem::path& path,
                    std::size_t from = 0);

// The one temporary sibling the call created is named "<prefix><uuid>" and was flushed before it
// took the target's name; the target's folder is flushed after the rename.
void expectDurablyPublished(const FaultInjector& injector, const std::filesystem::path& target, const std::string& prefix);

}  // namespace morra::test
