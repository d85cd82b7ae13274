#pragma once

namespace morra::context {
class InstallContext;
}  // namespace morra::context

namespace morra::steps {

// Replaces the one stale startup-language value (the index 13) in the game's Settings.json by
// English (0), keeping a one-time copy of the file as it was before the first change. Returns true
// when the file was changed. A file that is not one strict JSON document is refused before
// anything is written.
bool migrateStartupLanguageToEnglish(const context::InstallContext& context);

}  // namespace morra::steps
