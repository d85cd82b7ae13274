#pragma once

#include <exception>

#include "core/InstallerError.h"
#include "files/FileError.h"

namespace morra::wording {

// The words the player reads when an operation stops: every error that leaves the engine passes
// through here once, so the layers below report facts and the Russian texts stand together.

// A file error as the player reads it: the game's file (never our hidden temporary) and the
// system's description in Russian. The system's refusal of a change inside the game tells what to
// do about it and has a kind of its own (App Management, files of another account).
core::InstallerError playerError(const files::FileError& error);

// Whatever an operation threw, as the player reads it: the program's own errors as they are
// worded, a file error as above, a failed call of a library with the system's description in
// Russian, anything else after a Russian sentence. What is no std::exception is rethrown as it is.
core::InstallerError playerError(std::exception_ptr thrown);

}  // namespace morra::wording
