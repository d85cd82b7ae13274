#include "steps/FilePlacement.h"

#include "core/InstallerError.h"
#include "bsdiff/BsdiffFile.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"
#include "game/GameValidation.h"
#include "text/Utf8.h"

namespace morra::steps {

namespace fs = std::filesystem;

namespace {

enum class TargetState {
    Absent,       // made new; its name must still be free when it is put in place
    Done,         // already has the expected content: nothing to do
    Replaceable,  // an earlier release's content: replaced
};

TargetState targetState(const files::FileManager& fileManager, const fs::path& target, const std::string& expectedHash,
                        const std::vector<std::string>& replaceableTargetHashes) {
    if (fileManager.fileExists(target)) game::rejectSymbolicLink(fileManager, target);
    if (!fileManager.fileExists(target)) return TargetState::Absent;
    const std::string digest = files::sha256(fileManager, target);
    if (digest == expectedHash) return TargetState::Done;
    if (!files::containsDigest(replaceableTargetHashes, digest))
        throw core::InstallerError("Установочный файл уже существует и отличается: " + files::displayPath(target));
    return TargetState::Replaceable;
}

files::Placement placementFor(TargetState state) {
    return state == TargetState::Replaceable ? files::Placement::Replace : files::Placement::CreateNew;
}

// The tool's error text as a message carries it (a system's description in Russian); text that
// is not valid UTF-8 is dropped whole.
std::string toolText(const bsdiff::BsdiffError& error) {
    const std::string text = error.readableText();
    return text::isValidUtf8(text) ? text : std::string();
}

}  // namespace

void installFile(const files::FileManager& fileManager, const fs::path& source, const fs::path& target,
                 const std::string& expectedHash, const std::vector<std::string>& replaceableTargetHashes) {
    const TargetState state = targetState(fileManager, target, expectedHash, replaceableTargetHashes);
    if (state == TargetState::Done) return;
    files::publishCopy(fileManager, target, source, files::TemporaryRole::Installing, placementFor(state), expectedHash,
                       "Ошибка проверки копии " + files::displayName(target) + ".");
}

void installPatchedFile(const files::FileManager& fileManager, const fs::path& source, const fs::path& target,
                        const fs::path& patch, const std::string& expectedSourceHash,
                        const std::string& expectedTargetHash, const std::vector<std::string>& replaceableTargetHashes,
                        const std::string& build) {
    const TargetState state = targetState(fileManager, target, expectedTargetHash, replaceableTargetHashes);
    if (state == TargetState::Done) return;

    if (!fileManager.fileExists(source))
        throw core::InstallerError("В игре отсутствует исходный ресурс: " + files::displayPath(source));
    game::rejectSymbolicLink(fileManager, source);
    if (files::sha256(fileManager, source) != expectedSourceHash)
        throw core::InstallerError("Игровой ресурс не соответствует совместимому профилю macOS " + build +
                                   ": " + files::displayPath(source));

    const std::string name = files::displayName(target);
    files::publishVerified(
        fileManager, target, files::TemporaryRole::Installing, placementFor(state),
        [&](const fs::path& temporary) {
            try {
                return bsdiff::applyBsdiffFile(fileManager, source, temporary, patch).digest;
            } catch (const bsdiff::BsdiffError& error) {
                throw core::InstallerError("Не удалось подготовить " + name + ": " + toolText(error));
            }
        },
        expectedTargetHash, "Патч создал неверный " + name + ".");
}

void patchGameAsset(const files::FileManager& fileManager, const fs::path& asset, const fs::path& source,
                    const std::vector<fs::path>& patches, const std::string& expectedTargetHash) {
    if (patches.empty()) throw core::InstallerError("Для " + files::displayName(asset) + " не указан бинарный патч.");
    files::publishVerified(
        fileManager, asset, files::TemporaryRole::Patching, files::Placement::Replace,
        [&](const fs::path& output) {
            // Each output but the last goes to a temporary of its own and is gone once the next
            // has been made from it.
            files::TemporaryFiles intermediates(fileManager);
            fs::path current = source;
            std::string digest;
            for (std::size_t i = 0; i < patches.size(); ++i) {
                const bool last = i + 1 == patches.size();
                const fs::path next = last ? output : intermediates.add(files::temporarySibling(asset, files::TemporaryRole::Patching));
                bsdiff::BsdiffFileOptions options;
                options.sync = last;  // only the last output takes a name
                try {
                    digest = bsdiff::applyBsdiffFile(fileManager, current, next, patches[i], options).digest;
                } catch (const bsdiff::BsdiffError& error) {
                    throw core::InstallerError("bspatch завершился с ошибкой: " + toolText(error));
                }
                current = next;
            }
            return digest;
        },
        expectedTargetHash, "Патч создал файл с неверной контрольной суммой.");
}

}  // namespace morra::steps
