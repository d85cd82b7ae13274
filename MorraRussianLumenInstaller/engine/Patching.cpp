#include <algorithm>
#include <optional>

#include "BsdiffFile.h"
#include "DigestList.h"
#include "Engine.h"
#include "TemporaryFile.h"
#include "Utf8.h"

namespace morra {

namespace fs = std::filesystem;

namespace {


// Shared first steps of installFile and installPatchedFile: refuses a symbolic link at the target,
// returns nullopt when the target already holds the expected content, refuses a target whose
// content is neither expected nor replaceable, and otherwise tells whether the target exists.
std::optional<bool> classifyTarget(const Engine& engine, const fs::path& target,
                                          const std::string& expectedHash,
                                          const std::vector<std::string>& replaceableTargetHashes) {
    const FileManager& fileManager = engine.fileManager();
    if (fileManager.fileExists(target)) engine.rejectSymbolicLink(target);
    const bool exists = fileManager.fileExists(target);
    if (exists) {
        const std::string digest = engine.sha256(target);
        if (digest == expectedHash) return std::nullopt;
        if (!containsDigest(replaceableTargetHashes, digest))
            throw InstallerError("Установочный файл уже существует и отличается: " + target.string());
    }
    return exists;
}

// The tool's error text as the message carries it: text that is not valid UTF-8 is dropped
// whole, as a decoder that refuses it gives nothing (a path may hold any bytes).
std::string toolText(const BsdiffError& error) {
    const std::string text = error.what();
    return isValidUtf8(text) ? text : std::string();
}

// The verified new content takes the target's name: a replacement when the target existed, a
// move (which refuses to overwrite) when it did not.
void publish(const FileManager& fileManager, const fs::path& temporary, const fs::path& target, bool targetExists) {
    if (targetExists) fileManager.replaceItem(target, temporary);
    else fileManager.moveItem(temporary, target);
}

}  // namespace

void Engine::installFile(const fs::path& source, const fs::path& target, const std::string& expectedHash,
                                  const std::vector<std::string>& replaceableTargetHashes) const {
    const std::optional<bool> targetExists = classifyTarget(*this, target, expectedHash, replaceableTargetHashes);
    if (!targetExists) return;

    TemporaryFiles temporaries(fileManager_);
    const fs::path& temporary = temporaries.add(temporarySibling(target, ".installing-"));
    fileManager_.copyItem(source, temporary);
    if (sha256(temporary) != expectedHash)
        throw InstallerError("Ошибка проверки копии " + target.filename().string() + ".");
    publish(fileManager_, temporary, target, *targetExists);
}

void Engine::installPatchedFile(const fs::path& source, const fs::path& target, const fs::path& patch,
                                         const std::string& expectedSourceHash, const std::string& expectedTargetHash,
                                         const std::vector<std::string>& replaceableTargetHashes) const {
    const std::optional<bool> targetExists = classifyTarget(*this, target, expectedTargetHash, replaceableTargetHashes);
    if (!targetExists) return;

    if (!fileManager_.fileExists(source))
        throw InstallerError("В игре отсутствует исходный ресурс: " + source.string());
    rejectSymbolicLink(source);
    if (sha256(source) != expectedSourceHash)
        throw InstallerError(std::string("Игровой ресурс не соответствует совместимому профилю macOS ") + kBuildNumber +
                             ": " + source.string());

    const std::string name = target.filename().string();
    TemporaryFiles temporaries(fileManager_);
    const fs::path& temporary = temporaries.add(temporarySibling(target, ".installing-"));
    PatchedFile output;
    try {
        output = applyBsdiffFile(fileManager_, source, temporary, patch);
    } catch (const BsdiffError& error) {
        throw InstallerError("Не удалось подготовить " + name + ": " + toolText(error));
    }
    // The digest was computed while the output was written.
    if (output.digest != expectedTargetHash) throw InstallerError("Патч создал неверный " + name + ".");
    publish(fileManager_, temporary, target, *targetExists);
}

void Engine::patchGameAsset(const fs::path& asset, const fs::path& source, const std::vector<fs::path>& patches,
                                     const std::string& expectedTargetHash) const {
    if (patches.empty())
        throw InstallerError("Для " + asset.filename().string() + " не указан бинарный патч.");

    TemporaryFiles temporaries(fileManager_);
    fs::path current = source;
    PatchedFile output;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        const fs::path& temporary = temporaries.add(temporarySibling(asset, ".russianblind-"));
        BsdiffFileOptions options;
        options.sync = i + 1 == patches.size();  // only the last output takes a name
        try {
            output = applyBsdiffFile(fileManager_, current, temporary, patches[i], options);
        } catch (const BsdiffError& error) {
            throw InstallerError("bspatch завершился с ошибкой: " + toolText(error));
        }
        current = temporary;
    }
    if (output.digest != expectedTargetHash) throw InstallerError("Патч создал файл с неверной контрольной суммой.");
    fileManager_.replaceItem(asset, current);
}

}  // namespace morra
