#pragma once

#include <string>

namespace morra::text {

// The system's description of an errno value, in Russian: our own words for the causes a player
// meets (a read-only or full disk, missing rights, a missing file, …), since macOS describes them
// only in English; any other value keeps the system's own text with its number, as in
// "Protocol error (ошибка 71)". Always valid UTF-8.
std::string systemErrorText(int error);

}  // namespace morra::text
