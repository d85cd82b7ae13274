#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The services that differ between the systems the installer runs on. Everything here is a thin
// wrapper of the system's own calls; the decisions (fallbacks, error wording, fault injection)
// are made by the callers, which are the same on every system. Calls that can fail return 0 or
// an errno value and never throw.
namespace morra::platform {

// Creates the new file `destination` as a clone of the open regular file `sourceDescriptor`
// (sharing its storage where the file system can), with the source's permission bits. Returns 0;
// EEXIST when something exists at the destination; another errno value when the file system
// cannot clone these files (then nothing is left at the destination and the caller copies).
int cloneFile(int sourceDescriptor, const std::filesystem::path& destination);

// Copies up to `length` bytes from one open file to another inside the kernel, from and to the
// current positions. Returns 0 and the count in `copied` (0 at the source's end), or an errno
// value; ENOTSUP when the system has no such call for these files.
int copyInKernel(int fromDescriptor, int toDescriptor, std::size_t length, std::size_t& copied);

// Asks the system to start writing a file's range to disk now (a hint; flush reports errors).
void startWriteback(int descriptor, std::uint64_t offset, std::uint64_t length);

// Flushes a file's or a folder's data to stable storage (through the drive's own cache where
// the system can). Returns 0 or an errno value.
int flushToStableStorage(int descriptor);

// Renames `from` to `to` only if nothing exists at `to`. Returns 0, EEXIST, ENOTSUP when the file
// system cannot rename exclusively (the caller falls back), or another errno value.
int renameExclusive(const std::filesystem::path& from, const std::filesystem::path& to);

// Whether files cloned inside `directory` share their storage (then a backup or a restored copy
// costs no space).
bool clonesFiles(const std::filesystem::path& directory);

// The running program's own executable.
std::optional<std::filesystem::path> executablePath();
// The program's resources folder for a given executable: share/MorraRussianLumenInstaller beside
// bin/ on Linux, the bundle's Contents/Resources on macOS.
std::filesystem::path resourcesDirectoryOf(const std::filesystem::path& executable);

// Whether the system may refuse to let a program change another maker's application bundle
// until the user allows it (macOS: "App Management" under Privacy & Security).
bool hasAppManagement();
// The addresses that open the system's settings at that permission, in the order to try them (the
// permission itself, then the privacy settings that hold it); none where there is none.
std::vector<std::string> appManagementSettingsAddresses();
// Whether the system checks an application's signature at its first launch (macOS: Gatekeeper
// checks a notarized application's seal then, even without a quarantine flag).
bool checksSignatureAtFirstLaunch();

// The user's Application Support folder (on Linux, the XDG data folder).
std::filesystem::path applicationSupportDirectory(const std::filesystem::path& home);

struct RunningApplication {
    std::optional<std::filesystem::path> bundle;  // the application bundle it runs from, if any
    std::optional<std::string> localizedName;     // its name, for one without a bundle
};

// The applications running now.
std::vector<RunningApplication> runningApplications();

// The application the system knows by a bundle identifier, if any.
std::optional<std::filesystem::path> applicationWithBundleIdentifier(const std::string& identifier);

// The bundle of an executable laid out as X.app/Contents/MacOS/<file>, if it is one.
std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable);

}  // namespace morra::platform
