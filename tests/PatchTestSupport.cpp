#include "PatchTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <regex>
#include <stdexcept>
#include <tuple>

#include "BsdiffWriter.h"
#include "TestSupport.h"
#include "bsdiff/SignMagnitude.h"

namespace morra::test {

namespace fs = std::filesystem;

std::string encodeOffset(std::int64_t value) {
    unsigned char bytes[8];
    morra::encodeOffset(value, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), 8);
}

std::string controlBlock(const std::vector<RawControl>& controls) {
    std::string block;
    for (const RawControl& control : controls)
        block += encodeOffset(control.add) + encodeOffset(control.copy) + encodeOffset(control.seek);
    return block;
}

std::string assemblePatch(const std::string& compressedControl, const std::string& compressedDiff,
                          const std::string& compressedExtra, std::int64_t newSize,
                          std::optional<std::int64_t> controlLength, std::optional<std::int64_t> diffLength) {
    return "BSDIFF40" + encodeOffset(controlLength.value_or(static_cast<std::int64_t>(compressedControl.size()))) +
           encodeOffset(diffLength.value_or(static_cast<std::int64_t>(compressedDiff.size()))) + encodeOffset(newSize) +
           compressedControl + compressedDiff + compressedExtra;
}

std::string rawPatch(const std::vector<RawControl>& controls, const std::string& diff, const std::string& extra,
                     std::int64_t newSize) {
    return assemblePatch(tools::bzip2Compress(controlBlock(controls)), tools::bzip2Compress(diff),
                         tools::bzip2Compress(extra), newSize);
}

std::string randomBytes(std::uint64_t seed, std::size_t size) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t value = generator();
        for (std::size_t j = i; j < std::min(size, i + 8); ++j, value >>= 8) bytes[j] = static_cast<char>(value);
    }
    return bytes;
}

namespace {

// Runs "tool old new patch" with the given files' contents (a null one is left for the tool to
// write): the exit status, standard error and what the missing file holds afterwards.
std::tuple<int, std::string, std::string> runBsdiffTool(const char* name, const std::string* oldData, const std::string* newData,
                                                        const std::string* patch) {
    const std::string tool = systemTool(name);
    if (tool.empty()) throw std::runtime_error(std::string(name) + " is not installed");
    TemporaryDirectory folder;
    const fs::path files[] = {folder.path() / "old", folder.path() / "new", folder.path() / "patch"};
    const std::string* contents[] = {oldData, newData, patch};
    for (int i = 0; i < 3; ++i)
        if (contents[i]) writeFile(files[i], *contents[i]);
    const ProcessResult result = runProcess({tool, files[0].string(), files[1].string(), files[2].string()});
    if (result.status != 0 && result.status != 1) throw std::runtime_error(tool + " ended abnormally");
    return {result.status, result.standardError, result.status == 0 ? readFile(files[newData ? 2 : 1]) : ""};
}

}  // namespace

PatchOutcome runBspatch(const std::string& oldData, const std::string& patch) {
    const auto [status, error, output] = runBsdiffTool("bspatch", &oldData, nullptr, &patch);
    return {status == 0, output, error};
}

namespace {

class StringOutput : public BsdiffOutput {
public:
    void write(const unsigned char* data, std::size_t size) override { bytes.append(reinterpret_cast<const char*>(data), size); }
    std::string bytes;
};

}  // namespace

PatchOutcome applyInMemory(const std::string& oldData, const std::string& patch, bool parallel) {
    MemoryBsdiffInput oldInput(oldData), patchInput(patch);
    StringOutput output;
    try {
        if (applyBsdiff(oldInput, patchInput, output, BsdiffOptions{parallel}) != output.bytes.size())
            throw std::logic_error("size mismatch");
    } catch (const BsdiffError& error) {
        return {false, "", error.what()};
    }
    return {true, std::move(output.bytes), ""};
}

std::string runBsdiff(const std::string& oldData, const std::string& newData) {
    const auto [status, error, patch] = runBsdiffTool("bsdiff", &oldData, &newData, nullptr);
    if (status != 0) throw std::runtime_error("bsdiff failed: " + error);
    return patch;
}

std::string maskUuids(const std::string& text) {
    static const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    return std::regex_replace(text, uuid, "<uuid>");
}

unsigned modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::map<std::string, std::string> digests(const fs::path& folder) {
    std::map<std::string, std::string> files = snapshot(folder);
    for (auto& [name, contents] : files)
        if (!contents.starts_with("-> ")) contents = digestOf(contents);
    return files;
}

void FaultInjector::fail(FileOperation operation, std::string nameFragment, int error, int skip) {
    std::lock_guard lock(state_->mutex);
    state_->rules.push_back({operation, std::move(nameFragment), error, skip});
}

FileManager FaultInjector::fileManager() const {
    return FileManager([state = state_](FileOperation operation, const fs::path& path) {
        std::lock_guard lock(state->mutex);
        state->calls.push_back({operation, path});
        for (Rule& rule : state->rules) {
            if (rule.operation != operation) continue;
            if (!rule.fragment.empty() && path.filename().string().find(rule.fragment) == std::string::npos) continue;
            if (rule.skip-- > 0) continue;
            return rule.error;
        }
        return 0;
    });
}

std::vector<FileCall> FaultInjector::calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
}

std::vector<fs::path> FaultInjector::callsOf(FileOperation operation) const {
    std::vector<fs::path> paths;
    for (const FileCall& call : calls())
        if (call.operation == operation) paths.push_back(call.path);
    return paths;
}

std::size_t FaultInjector::indexOf(FileOperation operation, const fs::path& path) const {
    const std::vector<FileCall> all = calls();
    std::size_t index = 0;
    while (index < all.size() && !(all[index].operation == operation && all[index].path == path)) ++index;
    return index;
}

void expectDurablyPublished(const FaultInjector& injector, const fs::path& target, const std::string& prefix) {
    const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
    ASSERT_EQ(created.size(), 1u) << target;
    EXPECT_EQ(created[0].parent_path(), target.parent_path());
    EXPECT_EQ(maskUuids(created[0].filename().string()), prefix + "<uuid>");
    const std::size_t rename = injector.indexOf(FileOperation::Rename, target), end = injector.calls().size();
    EXPECT_LT(rename, end) << "never given the target's name";
    EXPECT_LT(injector.indexOf(FileOperation::Sync, created[0]), rename) << "not flushed before the rename";
    const std::vector<FileCall> calls = injector.calls();
    EXPECT_TRUE(std::any_of(calls.begin() + static_cast<long>(std::min(rename, end)), calls.end(), [&](const FileCall& call) {
        return call.operation == FileOperation::Sync && call.path == target.parent_path();
    })) << "folder not flushed after the rename";
}

}  // namespace morra::test
