#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "Engine.h"
#include "TemporaryFile.h"

namespace morra {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// The game's settings file is a few kilobytes. A file far larger than that is not the game's, and
// reading it whole would only risk the user's memory: it is left alone.
constexpr std::uint64_t kMaximumSettingsSize = 64ull << 20;
// Deeper nesting than this is refused as the platform's own JSON reader refuses it; it also keeps
// the writer's recursion bounded.
constexpr int kMaximumDepth = 512;

constexpr std::int64_t kConflictingLanguage = 13;
constexpr std::int64_t kEnglish = 0;

json parseSettings(const std::string& text) {
    return json::parse(text, [](int depth, json::parse_event_t, json&) {
        if (depth > kMaximumDepth) throw std::runtime_error("Settings.json: JSON nested too deeply");
        return true;
    });
}

// The platform's integer conversion of a JSON number: integers as they are, fractions truncated
// toward zero; numbers outside the 64-bit range never equal the index.
std::optional<std::int64_t> integerValue(const json& number) {
    if (number.is_number_integer() && !number.is_number_unsigned()) return number.get<std::int64_t>();
    if (number.is_number_unsigned()) {
        const std::uint64_t value = number.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    const double value = number.get<double>();
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return std::nullopt;
    return static_cast<std::int64_t>(std::trunc(value));
}

}  // namespace

bool Engine::migrateStartupLanguageToEnglish() const {
    const fs::path settings = gameSettingsFile();
    if (!fileManager_.fileExists(settings)) return false;
    rejectSymbolicLink(settings);

    const std::optional<std::string> text = fileManager_.readContents(settings, kMaximumSettingsSize);
    if (!text) return false;
    json document = parseSettings(*text);

    if (!document.is_object()) return false;
    auto language = document.find("LANGUAGE");
    if (language == document.end() || !language->is_object()) return false;
    auto entry = language->find("Language");
    if (entry == language->end() || !entry->is_object()) return false;
    auto index = entry->find("intValue");
    if (index == entry->end() || !index->is_number()) return false;
    if (integerValue(*index) != kConflictingLanguage) return false;

    // The copy of the settings as they were before the first change ever made, kept once. It is
    // put in place under a temporary name, so an interrupted run never leaves a partial copy.
    const fs::path copy = supportDirectory() / "User Settings" / "Settings.before-language-index-migration.json";
    // A killed earlier migration left the value at 13 and maybe a temporary beside either file.
    removeStaleTemporaries({settings, copy});
    if (!fileManager_.fileExists(copy)) {
        fileManager_.createDirectories(copy.parent_path());
        TemporaryFiles temporaries(fileManager_);
        const fs::path& temporary = temporaries.add(temporarySibling(copy, ".updating-"));
        fileManager_.copyItem(settings, temporary);
        fileManager_.moveItem(temporary, copy);
    }

    *index = kEnglish;
    replaceAtomically(settings, document.dump(2) + "\n");
    return true;
}

}  // namespace morra
