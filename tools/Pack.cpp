#include "Pack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "MappedFile.h"
#include "ProfileFile.h"
#include "bsdiff/BsdiffApplier.h"
#include "files/FileManager.h"
#include "files/Sha256.h"
#include "game/BundleIdentity.h"
#include "game/GamePaths.h"
#include "game/Manifest.h"

namespace morra::tools {

namespace fs = std::filesystem;

namespace {

using Place = fs::path GamePaths::*;
constexpr std::array<Place, 5> kAssets = {&GamePaths::resources, &GamePaths::level2, &GamePaths::level3,
                                          &GamePaths::sharedAssets0, &GamePaths::sharedAssets1};
constexpr std::array<Place, 3> kSources = {&GamePaths::fontSource, &GamePaths::imageSource,
                                           &GamePaths::dyslexicImageSource};
constexpr std::array<Place, 4> kAdded = {&GamePaths::lockit, &GamePaths::fontTarget, &GamePaths::imageTarget,
                                         &GamePaths::dyslexicImageTarget};

const std::string kLockitPayload = kAddedFileTable[0].payload;

// One copy of the game: its role in messages, its places and every file in it (folders aside).
struct Copy {
    Copy(std::string roleName, const fs::path& bundle) : role(std::move(roleName)), paths(fs::canonical(bundle)) {}

    std::string role;
    GamePaths paths;
    std::map<std::string, fs::file_type> files;  // relative path -> regular file or symbolic link

    std::string relative(Place place) const { return (paths.*place).lexically_relative(paths.app).generic_string(); }
    fs::path at(const std::string& relative) const { return paths.app / relative; }
    bool has(Place place) const { return files.count(relative(place)) > 0; }
};

void listFiles(Copy& copy) {
    for (auto it = fs::recursive_directory_iterator(copy.paths.app); it != fs::recursive_directory_iterator(); ++it) {
        const fs::file_type type = it->symlink_status().type();
        if (type == fs::file_type::directory) continue;
        if (type != fs::file_type::regular && type != fs::file_type::symlink)
            throw PackError("the " + copy.role + " copy holds " + it->path().string() +
                            ", which is neither a regular file, a folder nor a symbolic link");
        copy.files[it->path().lexically_relative(copy.paths.app).generic_string()] = type;
    }
}

void requireRegularFile(const Copy& copy, Place place, const std::string& what) {
    const std::string relative = copy.relative(place);
    const auto found = copy.files.find(relative);
    if (found == copy.files.end())
        throw PackError("missing file: " + copy.at(relative).string() + " (the " + copy.role + " copy must hold " + what + ")");
    if (found->second != fs::file_type::regular)
        throw PackError(copy.at(relative).string() + " in the " + copy.role +
                        " copy is a symbolic link; the installer reads and writes only regular files there");
}

bool sameContent(const fs::path& a, const fs::path& b, fs::file_type type) {
    if (type == fs::file_type::symlink) return fs::read_symlink(a) == fs::read_symlink(b);
    const MappedFile first(a), second(b);
    return first.bytes() == second.bytes();
}

// Everything but the five assets and the four added bundles must be as in the original.
void compareUnchangedParts(const Copy& original, const Copy& copy) {
    std::set<std::string> mayDiffer;
    for (Place place : kAssets) mayDiffer.insert(original.relative(place));
    for (Place place : kAdded) mayDiffer.insert(original.relative(place));
    for (const auto& [relative, type] : copy.files) {
        if (mayDiffer.count(relative)) continue;
        const auto there = original.files.find(relative);
        if (there == original.files.end())
            throw PackError("extra file: " + copy.at(relative).string() + " is not in the original copy " +
                            original.paths.app.string());
        if (there->second != type || !sameContent(original.at(relative), copy.at(relative), type))
            throw PackError(copy.at(relative).string() + " differs from the original copy's " + relative +
                            "; only the five assets and the four added bundles may differ");
    }
    for (const auto& [relative, type] : original.files) {
        (void)type;
        if (!mayDiffer.count(relative) && !copy.files.count(relative))
            throw PackError("missing file: " + copy.at(relative).string() + " (the original copy has " + relative + ")");
    }
}

std::string digestOfBytes(std::string_view bytes) {
    Sha256 hasher;
    hasher.update(bytes.data(), bytes.size());
    return hasher.finalHex();
}

std::string digestOf(const fs::path& file) { return digestOfBytes(MappedFile(file).bytes()); }

void addOnce(std::vector<std::string>& list, const std::string& digest) {
    if (std::find(list.begin(), list.end(), digest) == list.end()) list.push_back(digest);
}

[[noreturn]] void failSystem(const std::string& what, const fs::path& path) {
    throw PackError("cannot " + what + " " + path.string() + ": " + std::strerror(errno));
}

void syncPath(const fs::path& path, bool directory) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
    if (descriptor < 0) failSystem("open", path);
    const int result = ::fsync(descriptor);
    const int error = errno;
    ::close(descriptor);
    errno = error;
    if (result != 0) failSystem("flush", path);
}

// Writes a new file and flushes it to stable storage.
void writeNewFile(const fs::path& path, std::string_view bytes) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) failSystem("create", path);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = ::write(descriptor, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 1 << 30));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int error = errno;
            ::close(descriptor);
            errno = error;
            failSystem("write", path);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::fsync(descriptor) != 0 || ::close(descriptor) != 0) failSystem("write", path);
}

// What a patch made: its new bytes' digest and size, through the installer's own applier.
class HashingOutput : public BsdiffOutput {
public:
    void write(const unsigned char* data, std::size_t size) override {
        hasher_.update(data, size);
        size_ += size;
    }
    std::string digest() { return hasher_.finalHex(); }
    std::uint64_t size() const { return size_; }

private:
    Sha256 hasher_;
    std::uint64_t size_ = 0;
};

struct PatchJob {
    std::string payload;  // the payload file's name
    fs::path from;
    fs::path to;
    std::string toDigest;
};

std::string makeCheckedPatch(const PatchJob& job, const DifferOptions& options) {
    const MappedFile from(job.from), to(job.to);
    const std::string patch = makeBsdiff(from.bytes(), to.bytes(), options);
    MemoryBsdiffInput oldInput(from.bytes()), patchInput(patch);
    HashingOutput output;
    try {
        applyBsdiff(oldInput, patchInput, output);
    } catch (const BsdiffError& error) {
        throw PackError("the patch " + job.payload + " made from " + job.from.string() +
                        " cannot be applied by the installer: " + error.what());
    }
    if (output.size() != to.bytes().size() || output.digest() != job.toDigest)
        throw PackError("the patch " + job.payload + " does not turn " + job.from.string() + " into " +
                        job.to.string());
    return patch;
}

fs::path outputFolder(const fs::path& requested) {
    fs::path target = fs::absolute(requested).lexically_normal();
    if (!target.has_filename()) target = target.parent_path();
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::exists(status) && (!fs::is_directory(status) || !fs::is_empty(target)))
        throw PackError("--out " + target.string() + " already exists and is not an empty folder");
    fs::create_directories(target.parent_path());
    return target;
}

}  // namespace

void pack(const PackInputs& inputs) {
    auto say = [&](const std::string& line) {
        if (inputs.progress) inputs.progress(line);
    };
    const fs::path out = outputFolder(inputs.out);

    // The copies, each checked to be the game.
    std::vector<Copy> copies;
    auto add = [&](const std::string& role, const fs::path& bundle) {
        if (!validateBundleIdentity(FileManager(), bundle))
            throw PackError("the " + role + " copy " + bundle.string() +
                            " is not the game: a Morra Vellant bundle is a folder ending in .app whose "
                            "Contents/Info.plist names com.holtstudio.morravellant and the executable Morra Vellant");
        copies.emplace_back(role, bundle);
        listFiles(copies.back());
    };
    add("original", inputs.original);
    add("English-card", inputs.englishCards);
    add("translated", inputs.translated);
    for (std::size_t i = 0; i < inputs.earlier.size(); ++i) add("earlier release " + std::to_string(i + 1), inputs.earlier[i]);
    const Copy& original = copies[0];
    const Copy& english = copies[1];
    const Copy& translated = copies[2];
    say("checking the copies");

    // The files the installer knows, where each must be.
    for (const Copy& copy : copies) {
        for (Place place : kAssets) requireRegularFile(copy, place, "the five assets");
        for (Place place : kSources) requireRegularFile(copy, place, "the three source bundles");
    }
    for (Place place : kAdded) {
        if (original.has(place))
            throw PackError("extra file: " + (original.paths.*place).string() +
                            " (the original copy must be the game as shipped, without the translation's bundles)");
        requireRegularFile(english, place, "the four added bundles");
        requireRegularFile(translated, place, "the four added bundles");
        for (std::size_t i = 3; i < copies.size(); ++i)
            if (copies[i].has(place)) requireRegularFile(copies[i], place, "regular files only");
    }
    for (std::size_t i = 1; i < copies.size(); ++i) compareUnchangedParts(original, copies[i]);

    // Digests of every form, and what must differ or agree between the forms.
    say("computing digests");
    Profile profile;
    for (std::size_t i = 0; i < kAssets.size(); ++i) {
        const Place place = kAssets[i];
        AssetDigests entry;
        entry.file = kAssetTable[i].name;
        entry.original = digestOf(original.paths.*place);
        entry.englishCards = digestOf(english.paths.*place);
        entry.translatedCards = digestOf(translated.paths.*place);
        if (entry.englishCards == entry.original)
            throw PackError("same content where a patch is expected: " + (english.paths.*place).string() +
                            " is the same as the original copy's; the translation changes each of the five assets");
        const bool hasDelta = kAssetTable[i].skillCardDelta != nullptr;
        if (hasDelta && entry.translatedCards == entry.englishCards)
            throw PackError("same content where a patch is expected: " + (translated.paths.*place).string() +
                            " is the same as the English-card copy's; its skill-card delta needs the two to differ");
        if (!hasDelta && entry.translatedCards != entry.englishCards)
            throw PackError((translated.paths.*place).string() + " differs from the English-card copy's; only " +
                            kAssetTable[0].name + " and " + kAssetTable[1].name + " differ between the two variants");
        for (std::size_t k = 3; k < copies.size(); ++k) {
            const std::string digest = digestOf(copies[k].paths.*place);
            if (digest != entry.original && digest != entry.englishCards && digest != entry.translatedCards)
                addOnce(entry.earlierReleases, digest);
        }
        profile.assets.push_back(std::move(entry));
    }
    std::array<std::string, 3> sourceDigests;
    for (std::size_t i = 0; i < kSources.size(); ++i) sourceDigests[i] = digestOf(original.paths.*kSources[i]);
    for (std::size_t row = 0; row < kAdded.size(); ++row) {
        const Place place = kAdded[row];
        AddedFileDigests entry;
        entry.target = kAddedFileTable[row].target;
        entry.expected = digestOf(translated.paths.*place);
        if (digestOf(english.paths.*place) != entry.expected)
            throw PackError((english.paths.*place).string() + " differs from the translated copy's; the added bundles "
                            "are the same in both variants");
        if (row > 0) {
            entry.source = sourceDigests[row - 1];
            if (entry.expected == entry.source)
                throw PackError("same content where a patch is expected: " + (translated.paths.*place).string() +
                                " is the same as its source " + (original.paths.*kSources[row - 1]).string());
        }
        for (std::size_t k = 3; k < copies.size(); ++k)
            if (copies[k].has(place)) {
                const std::string digest = digestOf(copies[k].paths.*place);
                if (digest != entry.expected) addOnce(entry.replaceable, digest);
            }
        profile.addedFiles.push_back(std::move(entry));
    }

    // The payload and the profile, written aside.
    std::string pattern = (out.parent_path() / ("." + out.filename().string() + ".morra-pack-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) failSystem("create a folder beside", out);
    const fs::path aside = pattern;
    try {
        fs::permissions(aside, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        const fs::path payload = aside / "Payload";
        fs::create_directory(payload);
        std::map<std::string, std::string> payloadDigests;
        writeNewFile(payload / kLockitPayload, MappedFile(translated.paths.*kAdded[0]).bytes());
        payloadDigests[kLockitPayload] = profile.addedFiles[0].expected;

        std::vector<PatchJob> jobs;
        for (std::size_t i = 0; i < kAssets.size(); ++i) {
            jobs.push_back({kAssetTable[i].basePatch, original.paths.*kAssets[i], english.paths.*kAssets[i],
                            profile.assets[i].englishCards});
            if (kAssetTable[i].skillCardDelta)
                jobs.push_back({kAssetTable[i].skillCardDelta, english.paths.*kAssets[i], translated.paths.*kAssets[i],
                                profile.assets[i].translatedCards});
        }
        for (std::size_t i = 0; i < kSources.size(); ++i)
            jobs.push_back({kAddedFileTable[i + 1].payload, original.paths.*kSources[i], translated.paths.*kAdded[i + 1],
                            profile.addedFiles[i + 1].expected});
        for (const PatchJob& job : jobs) {
            const auto start = std::chrono::steady_clock::now();
            const std::string patch = makeCheckedPatch(job, inputs.differ);
            writeNewFile(payload / job.payload, patch);
            payloadDigests[job.payload] = digestOfBytes(patch);
            char line[160];
            std::snprintf(line, sizeof line, "%s: %zu bytes, %.1f s, checked with the installer's applier",
                          job.payload.c_str(), patch.size(),
                          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            say(line);
        }
        for (const std::string& name : payloadFileNames()) profile.payload.push_back({name, payloadDigests.at(name)});

        // The profile goes through the same checks as in the build.
        const std::string json = profileToJson(profile);
        try {
            parseProfile(json);
            writeNewFile(aside / "profile.json", json);
            checkPayload(readProfileFile(aside / "profile.json"), payload);
        } catch (const ProfileFileError& error) {
            throw PackError(std::string("the profile made does not pass the build's checks: ") + error.what());
        }
        syncPath(payload, true);
        syncPath(aside, true);
        if (::rename(aside.c_str(), out.c_str()) != 0) failSystem("give the finished folder the name", out);
        syncPath(out.parent_path(), true);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(aside, ignored);
        throw;
    }
    say("wrote " + (out / "Payload").string() + " and " + (out / "profile.json").string());
}

}  // namespace morra::tools
