#include "PatchTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

namespace morra::test {

std::string randomBytes(std::uint64_t seed, std::size_t size) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t value = generator();
        for (std::size_t j = i; j < std::min(size, i + 8); ++j, value >>= 8) bytes[j] = static_cast<char>(value);
    }
    return bytes;
}

std::string maskUuids(const std::string& text) {
    static const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    return std::regex_replace(text, uuid, "<uuid>");
}

void FaultInjector::fail(files::FileOperation operation, std::string nameFragment, int error, int skip) {
    std::lock_guard lock(state_->mutex);
    state_->rules.push_back({operation, std::move(nameFragment), error, skip});
}

files::FileManager FaultInjector::fileManager() const {
    return files::FileManager([state = state_](files::FileOperation operation, const fs::path& path) {
        std::lock_guard lock(state->mutex);
        state->calls.push_back({operation, path});
        for (Rule& rule : state->rules)
            if (rule.operation == operation && path.filename().string().find(rule.fragment) != std::string::npos &&
                rule.skip-- <= 0)
                return rule.error;
        return 0;
    });
}

std::vector<FileCall> FaultInjector::calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
}

std::vector<fs::path> FaultInjector::callsOf(files::FileOperation operation) const {
    std::vector<fs::path> paths;
    for (const FileCall& call : calls())
        if (call.operation == operation) paths.push_back(call.path);
    return paths;
}

std::size_t indexOf(const std::vector<FileCall>& calls, files::FileOperation operation, const fs::path& path, std::size_t from) {
    while (from < calls.size() && !(calls[from].operation == operation && calls[from].path == path)) ++from;
    return from;
}

void expectDurablyPublished(const FaultInjector& injector, const fs::path& target, const std::string& prefix) {
    const std::vector<fs::path> created = injector.callsOf(files::FileOperation::Create);
    ASSERT_EQ(created.size(), 1u) << target;
    EXPECT_EQ(created[0].parent_path(), target.parent_path());
    EXPECT_EQ(maskUuids(created[0].filename().string()), prefix + "<uuid>");
    const std::vector<FileCall> calls = injector.calls();
    const std::size_t rename = indexOf(calls, files::FileOperation::Rename, target);
    EXPECT_LT(rename, calls.size()) << "never given the target's name";
    EXPECT_LT(indexOf(calls, files::FileOperation::Sync, created[0]), rename) << "not flushed before the rename";
    EXPECT_LT(indexOf(calls, files::FileOperation::Sync, target.parent_path(), rename), calls.size()) << "folder not flushed after the rename";
}

}  // namespace morra::test
