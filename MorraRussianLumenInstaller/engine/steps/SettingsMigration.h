#pragma once

namespace morra {

class InstallContext;

// Replaces the one stale startup-language value (the index 13) in the game's Settings.json by
// English (0), keeping a one-time copy of the file as it was before the first change. Returns true
// when the file was changed. A file that is not one strict JSON document is refused before
// anything is written.
bool migrateStartupLanguageToEnglish(const InstallContext& context);

}  // namespace morra
