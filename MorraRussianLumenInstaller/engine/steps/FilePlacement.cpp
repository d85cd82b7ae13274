#include "steps/FilePlacement.h"

#include "core/InstallerError.h"
#include "bsdiff/BsdiffFile.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"
#include "game/GameValidation.h"
#include "text/Utf8.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

enum class TargetState {
    Absent,       // made new; its name must still be free when it is put in place
    Done,         // already has the expected content: nothing to do
    Replaceable,  // an earlier release's content: replaced
};

TargetState targetState(const FileManager& fileManager, const fs::path& target, const std::string& expectedHash,
                        const std::vector<std::string>& replaceableTargetHashes) {
    if (fileManager.fileExists(target)) rejectSymbolicLink(fileManager, target);
    if (!fileManager.fileExists(target)) return TargetState::Absent;
    const std::string digest = sha256(fileManager, target);
    if (digest == expectedHash) return TargetState::Done;
    if (!containsDigest(replaceableTargetHashes, digest))
        throw InstallerError("Установочный файл уже существует и отличается: " + displayPath(target));
    return TargetState::Replaceable;
}

Placement placementFor(TargetState state) {
    return state == TargetState::Replaceable ? Placement::Replace : Placement::CreateNew;
}

// The tool's error text as a message carries it (a system's description in Russian); text that
// is not valid UTF-8 is dropped whole.
std::string toolText(const BsdiffError& error) {
    const std::string text = error.readableText();
    return isValidUtf8(text) ? text : std::string();
}

}  // namespace

void installFile(const FileManager& fileManager, const fs::path& source, const fs::path& target,
                 const std::string& expectedHash, const std::vector<std::string>& replaceableTargetHashes) {
    const TargetState state = targetState(fileManager, target, expectedHash, replaceableTargetHashes);
    if (state == TargetState::Done) return;
    publishCopy(fileManager, target, source, TemporaryRole::Installing, placementFor(state), expectedHash,
                "Ошибка проверки копии " + displayName(target) + ".");
}

void installPatchedFile(const FileManager& fileManager, const fs::path& source, const fs::path& target,
                        const fs::path& patch, const std::string& expectedSourceHash,
                        const std::string& expectedTargetHash, const std::vector<std::string>& replaceableTargetHashes,
                        const std::string& build) {
    const TargetState state = targetState(fileManager, target, expectedTargetHash, replaceableTargetHashes);
    if (state == TargetState::Done) return;

    if (!fileManager.fileExists(source))
        throw InstallerError("В игре отсутствует исходный ресурс: " + displayPath(source));
    rejectSymbolicLink(fileManager, source);
    if (sha256(fileManager, source) != expectedSourceHash)
        throw InstallerError("Игровой ресурс не соответствует совместимому профилю macOS " + build +
                             ": " + displayPath(source));

    const std::string name = displayName(target);
    publishVerified(
        fileManager, target, TemporaryRole::Installing, placementFor(state),
        [&](const fs::path& temporary) {
            try {
                return applyBsdiffFile(fileManager, source, temporary, patch).digest;
            } catch (const BsdiffError& error) {
                throw InstallerError("Не удалось подготовить " + name + ": " + toolText(error));
            }
        },
        expectedTargetHash, "Патч создал неверный " + name + ".");
}

void patchGameAsset(const FileManager& fileManager, const fs::path& asset, const fs::path& source,
                    const std::vector<fs::path>& patches, const std::string& expectedTargetHash) {
    if (patches.empty()) throw InstallerError("Для " + displayName(asset) + " не указан бинарный патч.");
    publishVerified(
        fileManager, asset, TemporaryRole::Patching, Placement::Replace,
        [&](const fs::path& output) {
            // Each output but the last goes to a temporary of its own and is gone once the next
            // has been made from it.
            TemporaryFiles intermediates(fileManager);
            fs::path current = source;
            std::string digest;
            for (std::size_t i = 0; i < patches.size(); ++i) {
                const bool last = i + 1 == patches.size();
                const fs::path next = last ? output : intermediates.add(temporarySibling(asset, TemporaryRole::Patching));
                BsdiffFileOptions options;
                options.sync = last;  // only the last output takes a name
                try {
                    digest = applyBsdiffFile(fileManager, current, next, patches[i], options).digest;
                } catch (const BsdiffError& error) {
                    throw InstallerError("bspatch завершился с ошибкой: " + toolText(error));
                }
                current = next;
            }
            return digest;
        },
        expectedTargetHash, "Патч создал файл с неверной контрольной суммой.");
}

}  // namespace morra
