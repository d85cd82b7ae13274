#include "Pack.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
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
    for (const game::AssetSpec& asset : game::kAssetTable) places.push_back(asset.path());
    return places;
}

std::vector<Place> addedPlaces() {
    std::vector<Place> places;
    for (const game::AddedFileSpec& file : game::kAddedFileTable) places.push_back(file.targetPath());
    return places;
}

std::vector<Place> sourcePlaces() {
    std::vector<Place> places;
    for (const game::AddedFileSpec& file : game::kAddedFileTable)
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
    files::Sha256 hasher;
    hasher.update(bytes.data(), bytes.size());
    return hasher.finalHex();
}

std::string digestOf(const fs::path& file) { return digestOfBytes(MappedFile(file).bytes()); }

void addOnce(std::vector<std::string>& list, const std::string& digest) {
    if (std::find(list.begin(), list.end(), digest) == list.end()) list.push_back(digest);
}

// Writes a new file through the file service, flushed to stable storage as the installer flushes.
void writeNewFile(const files::FileManager& files, const fs::path& path, std::string_view bytes) {
    files::FileHandle file = files.createNewFile(path, 0644);
    file.write(bytes.data(), bytes.size());
    file.sync();
}

// What a patch made: its new bytes' digest and size, through the installer's own applier.
class HashingOutput : public bsdiff::BsdiffOutput {
public:
    void write(const unsigned char* data, std::size_t size) override {
        hasher_.update(data, size);
        size_ += size;
    }
    std::string digest() { return hasher_.finalHex(); }
    std::uint64_t size() const { return size_; }

private:
    files::Sha256 hasher_;
    std::uint64_t size_ = 0;
};

// One payload file: a patch from `from` to `to`, or (no `from`) the file `to` itself.
struct PatchJob {
    std::string payload;  // the payload file's name
    fs::path from;
    fs::path to;
    std::string fromDigest;
    std::string toDigest;
};

std::string makeCheckedPatch(const PatchJob& job, const DifferOptions& options) {
    const MappedFile from(job.from), to(job.to);
    const std::string patch = makeBsdiff(from.bytes(), to.bytes(), options);
    bsdiff::MemoryBsdiffInput oldInput(from.bytes()), patchInput(patch);
    HashingOutput output;
    try {
        bsdiff::applyBsdiff(oldInput, patchInput, output);
    } catch (const bsdiff::BsdiffError& error) {
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
std::vector<Copy> readCopies(const BuildCopies& inputs) {
    std::vector<Copy> copies;
    auto add = [&](const std::string& role, const fs::path& bundle) {
        if (!game::validateBundleIdentity(files::FileManager(), bundle))
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
game::AssetDigests assetDigests(const std::vector<Copy>& copies, std::size_t i) {
    const game::AssetSpec& spec = game::kAssetTable[i];
    const Place place = spec.path();
    const Copy &original = copies[0], &english = copies[1], &translated = copies[2];
    game::AssetDigests entry;
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
                        game::kAssetTable[0].name + " and " + game::kAssetTable[1].name +
                        " differ between the two variants");
    for (std::size_t k = 3; k < copies.size(); ++k) {
        const std::string digest = digestOf(copies[k].at(place));
        if (digest != entry.original && digest != entry.englishCards && digest != entry.translatedCards)
            addOnce(entry.earlierReleases, digest);
    }
    return entry;
}

// The digests of added file `row`: as installed, its source's, and the earlier releases' forms.
game::AddedFileDigests addedFileDigests(const std::vector<Copy>& copies, std::size_t row) {
    const game::AddedFileSpec& spec = game::kAddedFileTable[row];
    const Place place = spec.targetPath();
    const Copy &original = copies[0], &english = copies[1], &translated = copies[2];
    game::AddedFileDigests entry;
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

// The eleven payload files in the payload's order: the lockit, each asset's base patch and
// skill-card delta, then the added bundles' patches.
std::vector<PatchJob> payloadJobs(const std::vector<Copy>& copies, const game::Profile& profile) {
    const Copy &original = copies[0], &english = copies[1], &translated = copies[2];
    const game::AddedFileSpec& lockit = game::kAddedFileTable[0];
    std::vector<PatchJob> jobs = {{lockit.payload, {}, translated.at(lockit.targetPath()), {}, profile.addedFiles[0].expected}};
    for (std::size_t i = 0; i < game::kAssetTable.size(); ++i) {
        const game::AssetSpec& spec = game::kAssetTable[i];
        const game::AssetDigests& digests = profile.assets[i];
        jobs.push_back({spec.basePatch, original.at(spec.path()), english.at(spec.path()), digests.original, digests.englishCards});
        if (spec.skillCardDelta)
            jobs.push_back({spec.skillCardDelta, english.at(spec.path()), translated.at(spec.path()), digests.englishCards,
                            digests.translatedCards});
    }
    for (std::size_t row = 1; row < game::kAddedFileTable.size(); ++row) {
        const game::AddedFileSpec& spec = game::kAddedFileTable[row];
        jobs.push_back({spec.payload, original.at(spec.sourcePath()), translated.at(spec.targetPath()),
                        profile.addedFiles[row].source, profile.addedFiles[row].expected});
    }
    return jobs;
}

// One build's checked copies and its profile (the payload's digests come with the patches).
struct PackedBuild {
    const BuildCopies* inputs;
    std::vector<Copy> copies;
    game::Profile profile;
};

// Runs `step` for one build; with named builds a refusal names the build it concerns.
template <class Step>
void forBuild(const BuildCopies& build, Step&& step) {
    try {
        step();
    } catch (const PackError& error) {
        if (build.build.empty()) throw;
        throw PackError("build " + build.build + ": " + error.what());
    }
}

void say(const PackInputs& inputs, const BuildCopies& build, const std::string& line) {
    if (inputs.progress) inputs.progress(build.build.empty() ? line : "build " + build.build + ": " + line);
}

// One unnamed build, or named builds: decimal build numbers, each once.
void checkBuildNumbers(const PackInputs& inputs) {
    if (inputs.builds.empty()) throw PackError("no copies of the game to pack");
    std::set<std::string> seen;
    for (const BuildCopies& build : inputs.builds) {
        if (build.build.empty() && inputs.builds.size() > 1) throw PackError("several builds need a --build number each");
        if (build.build.empty()) continue;
        if (build.build.size() > 20 || !std::all_of(build.build.begin(), build.build.end(), [](char c) { return c >= '0' && c <= '9'; }))
            throw PackError("--build " + build.build + " is not a build number (decimal digits)");
        if (!seen.insert(build.build).second) throw PackError("build " + build.build + " is given twice");
    }
}

PackedBuild readBuild(const PackInputs& inputs, const BuildCopies& build) {
    PackedBuild packed{&build, {}, {}};
    forBuild(build, [&] {
        packed.copies = readCopies(build);
        say(inputs, build, "checking the copies");
        checkCopies(packed.copies);
        say(inputs, build, "computing digests");
        for (std::size_t i = 0; i < game::kAssetTable.size(); ++i)
            packed.profile.assets[i] = assetDigests(packed.copies, i);
        for (std::size_t row = 0; row < game::kAddedFileTable.size(); ++row)
            packed.profile.addedFiles[row] = addedFileDigests(packed.copies, row);
    });
    if (!build.build.empty()) packed.profile.build = packed.profile.payloadFolder = build.build;
    return packed;
}

// Two builds the installer could not tell apart are refused.
void requireDistinctBuilds(const std::vector<PackedBuild>& builds) {
    const auto shipped = [](const game::Profile& profile) {
        std::vector<std::string> digests;
        for (const game::AssetDigests& asset : profile.assets) digests.push_back(asset.original);
        for (const game::AddedFileDigests& added : profile.addedFiles) digests.push_back(added.source);
        return digests;
    };
    for (std::size_t later = 1; later < builds.size(); ++later)
        for (std::size_t earlier = 0; earlier < later; ++earlier)
            if (shipped(builds[later].profile) == shipped(builds[earlier].profile))
                throw PackError("build " + builds[later].profile.build + ": the original copy " +
                                builds[later].copies[0].app.string() + " has the same assets and source bundles as build " +
                                builds[earlier].profile.build + "'s original copy " + builds[earlier].copies[0].app.string());
}

// Writes the payload files, each once: a file already made for the same two files, or with the
// same digest as one written, is not written again (storedPayloadFile finds it).
class PayloadWriter {
public:
    PayloadWriter(const files::FileManager& files, fs::path payload, const PackInputs& inputs)
        : files_(files), payload_(std::move(payload)), inputs_(inputs) {}

    void write(PackedBuild& build) {
        const std::string& name = build.profile.payloadFolder;
        const fs::path folder = name.empty() ? payload_ : payload_ / name;
        files_.createDirectories(folder);
        for (const PatchJob& job : payloadJobs(build.copies, build.profile)) {
            const auto start = std::chrono::steady_clock::now();
            std::string& digest = made_[{job.fromDigest, job.toDigest}];
            if (!digest.empty()) {
                say(inputs_, *build.inputs, job.payload + ": the same as an earlier build's, stored once");
            } else {
                const std::string bytes = job.from.empty() ? std::string(MappedFile(job.to).bytes()) : makeCheckedPatch(job, inputs_.differ);
                digest = digestOfBytes(bytes);
                if (stored_.insert(digest).second) writeNewFile(files_, folder / job.payload, bytes);
                if (!job.from.empty()) reportPatch(build, job, bytes.size(), start);
            }
            build.profile.payload.push_back({job.payload, digest});
        }
        if (folder != payload_) files_.syncDirectory(folder);
    }

private:
    void reportPatch(const PackedBuild& build, const PatchJob& job, std::size_t size, std::chrono::steady_clock::time_point start) {
        char line[160];
        std::snprintf(line, sizeof line, "%s: %zu bytes, %.1f s, checked with the installer's applier", job.payload.c_str(), size,
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        say(inputs_, *build.inputs, line);
    }

    const files::FileManager& files_;
    fs::path payload_;
    const PackInputs& inputs_;
    std::map<std::pair<std::string, std::string>, std::string> made_;  // (from, to) digests -> payload file digest
    std::set<std::string> stored_;                                       // digests of the files written
};

// Writes the payload and the profile into `folder`, the profile checked as the build checks it.
void writeRelease(const files::FileManager& files, std::vector<PackedBuild>& builds, const fs::path& folder, const PackInputs& inputs) {
    const fs::path payload = folder / "Payload";
    files.createDirectories(payload);
    PayloadWriter writer(files, payload, inputs);
    game::KnownBuilds known;
    for (PackedBuild& build : builds) {
        forBuild(*build.inputs, [&] { writer.write(build); });
        known.push_back(build.profile);
    }
    const std::string json = profileToJson(known);
    try {
        parseProfile(json);
        writeNewFile(files, folder / "profile.json", json);
        checkPayload(readProfileFile(folder / "profile.json"), payload);
    } catch (const ProfileFileError& error) {
        throw PackError(std::string("the profile made does not pass the build's checks: ") + error.what());
    }
    files.syncDirectory(payload);
}

// Runs `write` on a hidden folder beside `out`, which takes `out`'s name only when complete.
void writeAside(const fs::path& out, const std::function<void(const files::FileManager&, const fs::path&)>& write) {
    const files::FileManager files;
    std::string pattern = (out.parent_path() / ("." + out.filename().string() + ".morra-pack-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw PackError("cannot create a folder beside " + out.string() + ": " + std::strerror(errno));
    const fs::path aside = pattern;
    try {
        fs::permissions(aside, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        write(files, aside);
        files.syncDirectory(aside);
        files.replaceItem(out, aside);
    } catch (const files::FileError& error) {
        std::error_code ignored;
        fs::remove_all(aside, ignored);
        throw PackError("cannot write " + error.path().string() + ": " + error.code().message());
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(aside, ignored);
        throw;
    }
}

}  // namespace

void pack(const PackInputs& inputs) {
    const fs::path out = outputFolder(inputs.out);
    checkBuildNumbers(inputs);
    std::vector<PackedBuild> builds;
    for (const BuildCopies& build : inputs.builds) builds.push_back(readBuild(inputs, build));
    requireDistinctBuilds(builds);
    writeAside(out, [&](const files::FileManager& files, const fs::path& aside) { writeRelease(files, builds, aside, inputs); });
    if (inputs.progress) inputs.progress("wrote " + (out / "Payload").string() + " and " + (out / "profile.json").string());
}

}  // namespace morra::tools
