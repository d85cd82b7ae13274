#include "PatchTestSupport.h"

#include <random>
#include <stdexcept>

#include "BsdiffWriter.h"
#include "TestSupport.h"

namespace morra::test {

namespace fs = std::filesystem;

std::string encodeOffset(std::int64_t value) {
    std::uint64_t magnitude = value < 0 ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>(magnitude & 0xff);
        magnitude >>= 8;
    }
    if (value < 0) bytes[7] = static_cast<char>(bytes[7] | 0x80);
    return bytes;
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

PatchOutcome runBspatch(const std::string& oldData, const std::string& patch) {
    TemporaryDirectory folder;
    const fs::path oldFile = folder.path() / "old", newFile = folder.path() / "new", patchFile = folder.path() / "patch";
    writeFile(oldFile, oldData);
    writeFile(patchFile, patch);
    const ProcessResult result = runProcess({"/usr/bin/bspatch", oldFile.string(), newFile.string(), patchFile.string()});
    PatchOutcome outcome;
    outcome.succeeded = result.status == 0;
    if (outcome.succeeded) outcome.output = readFile(newFile);
    else outcome.error = result.standardError;
    if (result.status != 0 && result.status != 1)
        throw std::runtime_error("bspatch ended abnormally (" + std::to_string(result.status) + ")");
    return outcome;
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
    PatchOutcome outcome;
    try {
        const std::uint64_t size = applyBsdiff(oldInput, patchInput, output, BsdiffOptions{parallel});
        if (size != output.bytes.size()) throw std::logic_error("size mismatch");
        outcome.succeeded = true;
        outcome.output = std::move(output.bytes);
    } catch (const BsdiffError& error) {
        outcome.error = error.what();
    }
    return outcome;
}

std::string runBsdiff(const std::string& oldData, const std::string& newData) {
    TemporaryDirectory folder;
    const fs::path oldFile = folder.path() / "old", newFile = folder.path() / "new", patchFile = folder.path() / "patch";
    writeFile(oldFile, oldData);
    writeFile(newFile, newData);
    const ProcessResult result = runProcess({"/usr/bin/bsdiff", oldFile.string(), newFile.string(), patchFile.string()});
    if (result.status != 0) throw std::runtime_error("bsdiff failed: " + result.standardError);
    return readFile(patchFile);
}

FaultInjector::FaultInjector() : state_(std::make_shared<State>()) {}

void FaultInjector::fail(FileOperation operation, std::string nameFragment, int error, int skip) {
    std::lock_guard lock(state_->mutex);
    state_->rules.push_back({operation, std::move(nameFragment), error, skip});
}

FileManager FaultInjector::fileManager() const {
    std::shared_ptr<State> state = state_;
    return FileManager([state](FileOperation operation, const fs::path& path) {
        std::lock_guard lock(state->mutex);
        state->calls.push_back({operation, path});
        for (Rule& rule : state->rules) {
            if (rule.operation != operation) continue;
            if (!rule.fragment.empty() && path.filename().string().find(rule.fragment) == std::string::npos) continue;
            if (rule.skip > 0) {
                --rule.skip;
                continue;
            }
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

std::string contentsOrAbsent(const fs::path& path) {
    if (!fs::exists(fs::symlink_status(path))) return "(absent)";
    return readFile(path);
}

std::vector<std::string> temporariesIn(const fs::path& folder) {
    std::vector<std::string> found;
    if (!fs::exists(folder)) return found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        for (const char* infix : {".restoring-", ".updating-", ".installing-", ".russianblind-", ".backing-up-"})
            if (name.size() > 1 && name[0] == '.' && name.find(infix) != std::string::npos) found.push_back(name);
    }
    return found;
}

}  // namespace morra::test
