#include "Pack.h"

#include <array>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "MappedFile.h"
#include "ProfileFile.h"
#include "bsdiff/BsdiffApplier.h"
#include "files/FileError.h"
#include "files/FileManager.h"
#include "files/Sha256.h"
#include "game/BundleIdentity.h"
#include "game/GamePlaces.h"

namespace morra::tools {

namespace fs = std::filesystem;

namespace {

// A place in a copy of the game, relative to its bundle, as the table of the game's places names it.
using Place = std::string;

std::vector<Place> assetPlaces() {
    std::vector<Place> places;
    for (const AssetSpec& asset : kAssetTable) places.push_back(asset.path());
    return places;
}

std::vector<Place> addedPlaces() {
    std::vector<Place> places;
    for (const AddedFileSpec& file : kAddedFileTable) places.push_back(file.targetPath());
    return places;
}

std::vector<Place> sourcePlaces() {
    std::vector<Place> places;
    for (const AddedFileSpec& file : kAddedFileTable)
        if (file.source) places.push_back(file.sourcePath());
    return places;
}

// One copy of the game: its role in messages and every file in it (folders aside).
struct Copy {
    Copy(std::string roleName, const fs::path& bundle) : role(std::move(roleName)), app(fs::canonical(bundle)) {}

    std::string role;
    fs::path app;
    std::map<std::string, fs::file_type> files;  // relative path -> regular file or symbolic link

    fs::path at(const Place& relative) const { return app / relative; }
    bool has(const Place& place) const { return files.count(place) > 0; }
};

void listFiles(Copy& copy) {
    for (auto it = fs::recursive_directory_iterator(copy.app); it != fs::recursive_directory_iterator(); ++it) {
        const fs::file_type type = it->symlink_status().type();
        if (type == fs::file_type::directory) continue;
        if (type != fs::file_type::regular && type != fs::file_type::symlink)
            throw PackError("the " + copy.role + " copy holds " + it->path().string() +
                            ", which is neither a regular file, a folder nor a symbolic link");
        copy.files[it->path().lexically_relative(copy.app).generic_string()] = type;
    }
}

void requireRegularFile(const Copy& copy, const Place& relative, const std::string& what) {
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
    for (const Place& place : assetPlaces()) mayDiffer.insert(place);
    for (const Place& place : addedPlaces()) mayDiffer.insert(place);
    for (const auto& [relative, type] : copy.files) {
        if (mayDiffer.count(relative)) continue;
        const auto there = original.files.find(relative);
        if (there == original.files.end())
            throw PackError("extra file: " + copy.at(relative).string() + " is not in the original copy " +
                            original.app.string());
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

// Writes a new file through the file service, flushed to stable storage as the installer flushes.
void writeNewFile(const FileManager& files, const fs::path& path, std::string_view bytes) {
    FileHandle file = files.createNewFile(path, 0644);
    file.write(bytes.data(), bytes.size());
    file.sync();
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

// The copies in their order: original, English-card, translated, then the earlier releases; each
// checked to be the game and listed.
std::vector<Copy> readCopies(const PackInputs& inputs) {
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
    return copies;
}

// The files the installer knows, where each must be; everything else as in the original.
void checkCopies(const std::vector<Copy>& copies) {
    const Copy& original = copies[0];
    for (const Copy& copy : copies) {
        for (const Place& place : assetPlaces()) requireRegularFile(copy, place, "the five assets");
        for (const Place& place : sourcePlaces()) requireRegularFile(copy, place, "the three source bundles");
    }
    for (const Place& place : addedPlaces()) {
        if (original.has(place))
            throw PackError("extra file: " + original.at(place).string() +
                            " (the original copy must be the game as shipped, without the translation's bundles)");
        requireRegularFile(copies[1], place, "the four added bundles");
        requireRegularFile(copies[2], place, "the four added bundles");
        for (std::size_t i = 3; i < copies.size(); ++i)
            if (copies[i].has(place)) requireRegularFile(copies[i], place, "regular files only");
    }
    for (std::size_t i = 1; i < copies.size(); ++i) compareUnchangedParts(original, copies[i]);
}

// The digests of asset `i` in every form, and what must differ or agree between the forms.
AssetDigests assetDigests(const std::vector<Copy>& copies, std::size_t i) {
    const AssetSpec& spec = kAssetTable[i];
    const Place place = spec.path();
    const Copy &original = copies[0], &english = copies[1], &translated = copies[2];
    AssetDigests entry;
    entry.original = digestOf(original.at(place));
    entry.englishCards = digestOf(english.at(place));
    entry.translatedCards = digestOf(translated.at(place));
    if (entry.englishCards == entry.original)
        throw PackError("same content where a patch is expected: " + english.at(place).string() +
                        " is the same as the original copy's; the translation changes each of the five assets");
    const bool hasDelta = spec.skillCardDelta != nullptr;
    if (hasDelta && entry.translatedCards == entry.englishCards)
        throw PackError("same content where a patch is expected: " + translated.at(place).string() +
                        " is the same as the English-card copy's; its skill-card delta needs the two to differ");
    if (!hasDelta && entry.translatedCards != entry.englishCards)
        throw PackError(translated.at(place).string() + " differs from the English-card copy's; only " +
                        kAssetTable[0].name + " and " + kAssetTable[1].name + " differ between the two variants");
    for (std::size_t k = 3; k < copies.size(); ++k) {
        const std::string digest = digestOf(copies[k].at(place));
        if (digest != entry.original && digest != entry.englishCards && digest != entry.translatedCards)
            addOnce(entry.earlierReleases, digest);
    }
    return entry;
}

// The digests of added file `row`: as installed, its source's, and the earlier releases' forms.
AddedFileDigests addedFileDigests(const std::vector<Copy>& copies, std::size_t row) {
    const AddedFileSpec& spec = kAddedFileTable[row];
    const Place place = spec.targetPath();
    const Copy &original = copies[0], &english = copies[1], &translated = copies[2];
    AddedFileDigests entry;
    entry.expected = digestOf(translated.at(place));
    if (digestOf(english.at(place)) != entry.expected)
        throw PackError(english.at(place).string() + " differs from the translated copy's; the added bundles "
                        "are the same in both variants");
    if (spec.source) {
        entry.source = digestOf(original.at(spec.sourcePath()));
        if (entry.expected == entry.source)
            throw PackError("same content where a patch is expected: " + translated.at(place).string() +
                            " is the same as its source " + original.at(spec.sourcePath()).string());
    }
    for (std::size_t k = 3; k < copies.size(); ++k)
        if (copies[k].has(place)) {
            const std::string digest = digestOf(copies[k].at(place));
            if (digest != entry.expected) addOnce(entry.replaceable, digest);
        }
    return entry;
}

// The ten patches: each asset's base patch and skill-card delta, then the added bundles' patches.
std::vector<PatchJob> patchJobs(const std::vector<Copy>& copies, const Profile& profile) {
    const Copy &original = copies[0], &english = copies[1], &translated = copies[2];
    std::vector<PatchJob> jobs;
    for (std::size_t i = 0; i < kAssetTable.size(); ++i) {
        const AssetSpec& spec = kAssetTable[i];
        jobs.push_back({spec.basePatch, original.at(spec.path()), english.at(spec.path()), profile.assets[i].englishCards});
        if (spec.skillCardDelta)
            jobs.push_back({spec.skillCardDelta, english.at(spec.path()), translated.at(spec.path()),
                            profile.assets[i].translatedCards});
    }
    for (std::size_t row = 0; row < kAddedFileTable.size(); ++row) {
        const AddedFileSpec& spec = kAddedFileTable[row];
        if (spec.source)
            jobs.push_back({spec.payload, original.at(spec.sourcePath()), translated.at(spec.targetPath()),
                            profile.addedFiles[row].expected});
    }
    return jobs;
}

// Writes the payload and the profile into `folder`, the profile checked as the build checks it.
void writeRelease(const FileManager& files, const std::vector<Copy>& copies, Profile profile, const fs::path& folder,
                  const PackInputs& inputs) {
    const fs::path payload = folder / "Payload";
    files.createDirectories(payload);
    std::map<std::string, std::string> payloadDigests;
    const AddedFileSpec& lockit = kAddedFileTable[0];
    writeNewFile(files, payload / lockit.payload, MappedFile(copies[2].at(lockit.targetPath())).bytes());
    payloadDigests[lockit.payload] = profile.addedFiles[0].expected;
    for (const PatchJob& job : patchJobs(copies, profile)) {
        const auto start = std::chrono::steady_clock::now();
        const std::string patch = makeCheckedPatch(job, inputs.differ);
        writeNewFile(files, payload / job.payload, patch);
        payloadDigests[job.payload] = digestOfBytes(patch);
        char line[160];
        std::snprintf(line, sizeof line, "%s: %zu bytes, %.1f s, checked with the installer's applier",
                      job.payload.c_str(), patch.size(),
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (inputs.progress) inputs.progress(line);
    }
    for (const std::string& name : payloadFileNames()) profile.payload.push_back({name, payloadDigests.at(name)});

    const std::string json = profileToJson({profile});
    try {
        parseProfile(json);
        writeNewFile(files, folder / "profile.json", json);
        checkPayload(readProfileFile(folder / "profile.json"), payload);
    } catch (const ProfileFileError& error) {
        throw PackError(std::string("the profile made does not pass the build's checks: ") + error.what());
    }
    files.syncDirectory(payload);
}

}  // namespace

void pack(const PackInputs& inputs) {
    const fs::path out = outputFolder(inputs.out);
    const std::vector<Copy> copies = readCopies(inputs);
    if (inputs.progress) inputs.progress("checking the copies");
    checkCopies(copies);
    if (inputs.progress) inputs.progress("computing digests");
    Profile profile;
    for (std::size_t i = 0; i < kAssetTable.size(); ++i) profile.assets[i] = assetDigests(copies, i);
    for (std::size_t row = 0; row < kAddedFileTable.size(); ++row) profile.addedFiles[row] = addedFileDigests(copies, row);

    // Everything is written aside and takes the name `out` only when complete.
    const FileManager files;
    std::string pattern = (out.parent_path() / ("." + out.filename().string() + ".morra-pack-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw PackError("cannot create a folder beside " + out.string() + ": " + std::strerror(errno));
    const fs::path aside = pattern;
    try {
        fs::permissions(aside, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        writeRelease(files, copies, std::move(profile), aside, inputs);
        files.syncDirectory(aside);
        files.replaceItem(out, aside);
    } catch (const FileError& error) {
        std::error_code ignored;
        fs::remove_all(aside, ignored);
        throw PackError("cannot write " + error.path().string() + ": " + error.code().message());
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(aside, ignored);
        throw;
    }
    if (inputs.progress) inputs.progress("wrote " + (out / "Payload").string() + " and " + (out / "profile.json").string());
}

}  // namespace morra::tools
