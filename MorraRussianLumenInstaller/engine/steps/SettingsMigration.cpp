#include "steps/SettingsMigration.h"

#include <cerrno>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"
#include "game/GameValidation.h"
#include "context/InstallContext.h"
#include "steps/AtomicReplace.h"

namespace morra::steps {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The game's settings file is a few kilobytes. A file far larger than that is not the game's, and
// reading it whole would only risk the user's memory: it is left alone.
constexpr std::uint64_t kMaximumSettingsSize = 64ull << 20;
// Deeper nesting than this is refused; it also keeps the writer's recursion bounded.
constexpr int kMaximumDepth = 512;

constexpr std::int64_t kConflictingLanguage = 13;
constexpr std::int64_t kEnglish = 0;

class NotStrictJson : public std::runtime_error {
public:
    NotStrictJson() : std::runtime_error("not strict JSON") {}
};

// One JSON document as RFC 8259 defines it and nothing else: the reader refuses what follows the
// document, comments, control characters and malformed UTF-8 in strings, and numbers beyond a
// double's range (they could not be written back); a NUL byte anywhere and nesting deeper than the
// bound are refused here.
// A leading byte-order mark is ignored, as the RFC allows.
json parseStrictly(const std::string& text, const fs::path& settings) {
    const std::string refused = "Файл настроек игры повреждён (это не JSON): " + files::displayPath(settings);
    // The reader takes a NUL byte for the end of its input; JSON has no place for one.
    if (text.find('\0') != std::string::npos) throw core::InstallerError(refused);
    try {
        return json::parse(
            text,
            [](int depth, json::parse_event_t, json&) {
                if (depth > kMaximumDepth) throw NotStrictJson();
                return true;
            },
            /*allow_exceptions=*/true, /*ignore_comments=*/false);
    } catch (const json::parse_error& error) {
        // The reader's own text quotes the offending bytes, which need not be text at all.
        throw core::InstallerError("Файл настроек игры повреждён (это не JSON, ошибка около байта " +
                                   std::to_string(error.byte) + "): " + files::displayPath(settings));
    } catch (const json::exception&) {
        throw core::InstallerError(refused);
    } catch (const NotStrictJson&) {
        throw core::InstallerError(refused);
    }
}

// The platform's integer conversion of a JSON number: integers as they are, fractions truncated
// toward zero; numbers outside the 64-bit range never equal the index.
std::optional<std::int64_t> integerValue(const json& number) {
    if (number.is_number_unsigned()) {
        const std::uint64_t value = number.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    if (number.is_number_integer()) return number.get<std::int64_t>();
    const double value = number.get<double>();
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return std::nullopt;
    return static_cast<std::int64_t>(std::trunc(value));
}

// The member LANGUAGE / Language / intValue, when each step is an object and the last a number.
json* startupLanguage(json& document) {
    if (!document.is_object()) return nullptr;
    auto language = document.find("LANGUAGE");
    if (language == document.end() || !language->is_object()) return nullptr;
    auto entry = language->find("Language");
    if (entry == language->end() || !entry->is_object()) return nullptr;
    auto index = entry->find("intValue");
    if (index == entry->end() || !index->is_number()) return nullptr;
    return &*index;
}

}  // namespace

bool migrateStartupLanguageToEnglish(const context::InstallContext& context) {
    const files::FileManager& files = context.fileManager();
    const fs::path settings = context.gameSettingsFile();
    if (!files.fileExists(settings)) return false;
    game::rejectSymbolicLink(files, settings);

    const std::optional<std::string> text = files.readContents(settings, kMaximumSettingsSize);
    if (!text) return false;
    json document = parseStrictly(*text, settings);
    json* index = startupLanguage(document);
    if (!index || integerValue(*index) != kConflictingLanguage) return false;

    // The copy of the settings as they were before the first change ever made, kept once.
    const fs::path copy = context.supportDirectory() / "User Settings" / "Settings.before-language-index-migration.json";
    // A killed earlier migration left the value at 13 and maybe a temporary beside either file.
    files::removeStaleTemporaries(files, {settings, copy});
    if (!files.fileExists(copy)) {
        files.createDirectories(copy.parent_path());
        // Made at this moment by another copy of the installer: the first copy is the one kept.
        files::publishCopyOrKeep(
            files, copy, settings, files::TemporaryRole::Updating, files::sha256Hex(text->data(), text->size()),
            "Файл настроек игры изменился во время работы установщика: " + files::displayPath(settings));
    }

    *index = kEnglish;
    replaceAtomically(files, settings, document.dump(2) + "\n");
    return true;
}

}  // namespace morra::steps
