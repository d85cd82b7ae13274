#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::search {

// The largest library list that is read; anything bigger is no Steam library list, and reading it
// would only exhaust memory. Such a file counts as unreadable.
inline constexpr std::uint64_t kLibraryFoldersSizeLimit = 256ull << 20;


// Every value that the pattern "path"\s+"([^"]+)" captures in the text, in text order, with
// matches not overlapping, exactly as a backtracking regular-expression engine finds them, but in
// one pass and in time linear in the text's size. The captured bytes are returned unchanged.
//
// \s is the set of the Unicode White_Space property, which is what ICU's regular expressions
// (and so the platform's regular-expression class on macOS) match for \s: U+0009 to U+000D,
// U+0020, U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
// Vertical tab and NEL count; zero-width characters such as U+200B and U+FEFF do not.
//
// Gives nothing when the text is not valid UTF-8 (the list is then unreadable as text).
std::optional<std::vector<std::string>> libraryFolderPathValues(std::string_view text);

// Replaces each pair of consecutive backslashes by one, left to right, pairs not overlapping.
std::string collapseDoubledBackslashes(std::string_view value);

// The Steam library list of a Steam root.
std::filesystem::path libraryFoldersFile(const std::filesystem::path& steamRoot);

// The Steam library roots: first home + "Library/Application Support/Steam" whether or not it
// exists, then one root per "path" value of that root's steamapps/libraryfolders.vdf, in file
// order, with doubled backslashes made single; neither tested for existence nor deduplicated.
// A list that is missing, unreadable, not a regular file, too large or not valid UTF-8 adds
// nothing. A value holding a NUL character names no folder and is left out. Never throws for a
// file-system reason.
std::vector<std::filesystem::path> steamLibraryRoots(const files::FileManager& fileManager,
                                                     const std::filesystem::path& home);

}  // namespace morra::search
