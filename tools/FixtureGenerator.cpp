#include "FixtureGenerator.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>

#include "BsdiffWriter.h"
#include "ProfileFile.h"
#include "files/Sha256.h"
#include "InstallerEngine.h"
#include "game/GamePlaces.h"

namespace morra::tools {

namespace fs = std::filesystem;

namespace {

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    Random(std::uint64_t seed, const std::string& label) : state_(seed * 0x9e3779b97f4a7c15ULL) {
        for (char c : label) state_ = (state_ ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
        next();
    }
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t bound) { return bound ? next() % bound : 0; }
    std::string bytes(std::size_t size) {
        std::string out(size, '\0');
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t value = next();
            for (int k = 0; k < 8; ++k) out[i + k] = static_cast<char>(value >> (8 * k));
        }
        for (std::uint64_t value = next(); i < size; ++i, value >>= 8) out[i] = static_cast<char>(value);
        return out;
    }

private:
    std::uint64_t state_;
};

// The content of a game file: a recognisable header, then pseudo-random bytes.
std::string makeContent(std::uint64_t seed, const std::string& label, std::size_t size) {
    Random random(seed, label);
    std::string content = random.bytes(size);
    const std::string header = "MORRA-FIXTURE " + label + "\n";
    content.replace(0, std::min(header.size(), content.size()), header.substr(0, std::min(header.size(), content.size())));
    return content;
}

// Scattered small changes (about one every `stride` bytes), then a change of size: bytes added
// at the end when sizeChange is positive, removed when negative.
std::string mutate(const std::string& input, std::uint64_t seed, const std::string& label, std::size_t stride,
                   std::int64_t sizeChange) {
    Random random(seed, label);
    std::string output = input;
    for (std::size_t at = random.below(stride); at < output.size(); at += 1 + random.below(2 * stride)) {
        std::size_t run = 1 + random.below(16);
        for (std::size_t k = 0; k < run && at + k < output.size(); ++k)
            output[at + k] = static_cast<char>(output[at + k] ^ static_cast<char>(1 + random.below(255)));
    }
    if (sizeChange > 0) {
        output += random.bytes(static_cast<std::size_t>(sizeChange));
    } else if (sizeChange < 0) {
        output.resize(output.size() - std::min<std::size_t>(output.size() / 2, static_cast<std::size_t>(-sizeChange)));
    }
    if (output == input) output.push_back('\x5a');  // a form must differ from its source
    return output;
}

std::string patchFor(const std::string& from, const std::string& to) {
    return makeBsdiffPatch(from, to, wholeFileControls(from.size(), to.size(), 64 << 10));
}

std::string digestOf(const std::string& bytes) { return files::sha256Hex(bytes.data(), bytes.size()); }

std::string infoPlist(const std::string& build) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
           "\t<key>CFBundleExecutable</key>\n\t<string>Morra Vellant</string>\n"
           "\t<key>CFBundleIdentifier</key>\n\t<string>com.holtstudio.morravellant</string>\n"
           "\t<key>CFBundleName</key>\n\t<string>Morra Vellant</string>\n"
           "\t<key>CFBundlePackageType</key>\n\t<string>APPL</string>\n"
           "\t<key>CFBundleVersion</key>\n\t<string>" + build + "</string>\n"
           "</dict>\n</plist>\n";
}

std::size_t assetRow(const std::string& name) {
    for (std::size_t i = 0; i < game::kAssetTable.size(); ++i)
        if (name == game::kAssetTable[i].name) return i;
    throw std::logic_error("no asset " + name);
}

// Makes the named payload files from the fixture's forms, by the table of the game's places.
void fillPayload(Fixture& fixture, const std::vector<std::string>& names) {
    const auto wanted = [&](const char* name) { return name && std::find(names.begin(), names.end(), name) != names.end(); };
    auto& payload = fixture.payload;
    if (wanted(game::kAddedFileTable[0].payload)) payload[game::kAddedFileTable[0].payload] = fixture.addedExpected[0];
    for (std::size_t i = 0; i < Fixture::kAssets; ++i) {
        if (wanted(game::kAssetTable[i].basePatch))
            payload[game::kAssetTable[i].basePatch] = patchFor(fixture.original[i], fixture.englishCards[i]);
        if (wanted(game::kAssetTable[i].skillCardDelta))
            payload[game::kAssetTable[i].skillCardDelta] =
                patchFor(fixture.englishCards[i], fixture.translatedCards[i]);
    }
    for (std::size_t row = 1; row < Fixture::kAdded; ++row)
        if (wanted(game::kAddedFileTable[row].payload))
            payload[game::kAddedFileTable[row].payload] = patchFor(fixture.sourceBundles[row - 1], fixture.addedExpected[row]);
}

// The profile's digests, from the fixture's forms and payload (its build and folder kept).
void fillProfile(Fixture& fixture) {
    game::Profile& profile = fixture.profile;
    for (std::size_t i = 0; i < Fixture::kAssets; ++i) {
        game::AssetDigests entry{digestOf(fixture.original[i]), digestOf(fixture.englishCards[i]),
                                 digestOf(fixture.translatedCards[i]), {}};
        for (const std::string& form : fixture.earlierReleases[i]) entry.earlierReleases.push_back(digestOf(form));
        profile.assets[i] = std::move(entry);
    }
    profile.payload.clear();
    for (const std::string& name : game::payloadFileNames()) profile.payload.push_back({name, digestOf(fixture.payload.at(name))});
    for (std::size_t i = 0; i < Fixture::kAdded; ++i) {
        game::AddedFileDigests entry{i ? digestOf(fixture.sourceBundles[i - 1]) : std::string(),
                                     digestOf(fixture.addedExpected[i]), {}};
        for (const std::string& form : fixture.addedReplaceable[i]) entry.replaceable.push_back(digestOf(form));
        profile.addedFiles[i] = std::move(entry);
    }
}

}  // namespace

bool parseGameState(const std::string& text, GameState& state) {
    static const std::map<std::string, GameState> names = {
        {"untouched", GameState::Untouched},
        {"installed-translated", GameState::InstalledTranslated},
        {"installed-english", GameState::InstalledEnglish},
        {"earlier-release", GameState::EarlierRelease},
        {"interrupted", GameState::Interrupted},
    };
    auto found = names.find(text);
    if (found == names.end()) return false;
    state = found->second;
    return true;
}

const std::array<std::string, Fixture::kAssets>& assetPaths() {
    static const std::array<std::string, Fixture::kAssets> paths = [] {
        std::array<std::string, Fixture::kAssets> result;
        for (std::size_t i = 0; i < result.size(); ++i) result[i] = game::kAssetTable[i].path();
        return result;
    }();
    return paths;
}

const std::array<std::string, 3>& sourceBundlePaths() {
    static const std::array<std::string, 3> paths = [] {
        std::array<std::string, 3> result;
        for (std::size_t i = 0; i < result.size(); ++i) result[i] = game::kAddedFileTable[i + 1].sourcePath();
        return result;
    }();
    return paths;
}

const std::array<std::string, Fixture::kAdded>& addedFilePaths() {
    static const std::array<std::string, Fixture::kAdded> paths = [] {
        std::array<std::string, Fixture::kAdded> result;
        for (std::size_t i = 0; i < result.size(); ++i) result[i] = game::kAddedFileTable[i].targetPath();
        return result;
    }();
    return paths;
}

Fixture makeFixture(std::uint64_t seed, std::uint64_t assetBytes) {
    Fixture fixture;
    const std::array<unsigned, Fixture::kAssets> shares = {40, 20, 15, 15, 10};
    // Size changes of the translated forms: some grow, some shrink, one keeps its size.
    const std::array<std::int64_t, Fixture::kAssets> englishGrowth = {4099, 1500, -700, 0, 333};
    const std::array<std::int64_t, Fixture::kAssets> earlierGrowth = {2048, -300, 0, 100, -50};
    const std::size_t stride = 4096;

    for (std::size_t i = 0; i < Fixture::kAssets; ++i) {
        const std::string& name = game::kAssetTable[i].name;
        const std::size_t size = std::max<std::size_t>(1024, assetBytes * shares[i] / 100);
        fixture.original[i] = makeContent(seed, "original " + name, size);
        fixture.englishCards[i] = mutate(fixture.original[i], seed, "english " + name, stride, englishGrowth[i]);
        fixture.translatedCards[i] = game::kAssetTable[i].skillCardDelta ? mutate(fixture.englishCards[i], seed, "cards " + name, stride * 8, i == 0 ? 512 : -64)
                                           : fixture.englishCards[i];
        fixture.earlierReleases[i].push_back(mutate(fixture.original[i], seed, "earlier " + name, stride, earlierGrowth[i]));
        if (i == 0)
            fixture.earlierReleases[i].push_back(mutate(fixture.original[i], seed, "oldest " + name, stride / 2, 1024));
    }

    const std::size_t bundleSize = std::max<std::size_t>(2048, assetBytes / 64);
    for (std::size_t i = 0; i < 3; ++i)
        fixture.sourceBundles[i] = makeContent(seed, "bundle " + sourceBundlePaths()[i], bundleSize + 37 * i);
    fixture.addedExpected[0] = makeContent(seed, "lockit russianblind", std::max<std::size_t>(2048, assetBytes / 128));
    for (std::size_t i = 1; i < Fixture::kAdded; ++i)
        fixture.addedExpected[i] = mutate(fixture.sourceBundles[i - 1], seed, "added " + addedFilePaths()[i], 512, 211 * static_cast<std::int64_t>(i));
    const std::array<std::size_t, Fixture::kAdded> replaceableCounts = {3, 4, 2, 2};
    for (std::size_t i = 0; i < Fixture::kAdded; ++i)
        for (std::size_t k = 0; k < replaceableCounts[i]; ++k)
            fixture.addedReplaceable[i].push_back(
                mutate(fixture.addedExpected[i], seed, "replaceable " + std::to_string(k) + " " + addedFilePaths()[i], 256, 7 * static_cast<std::int64_t>(k)));

    fillPayload(fixture, game::payloadFileNames());
    fillProfile(fixture);
    return fixture;
}

Fixture makeUpdatedFixture(const Fixture& base, std::uint64_t seed, const std::string& build) {
    Fixture fixture = base;
    fixture.profile.build = build;
    fixture.profile.payloadFolder = build;
    const std::string label = "update " + build + " ";
    std::vector<std::string> changedPayload;
    for (const std::size_t i : {assetRow("level2"), assetRow("sharedassets1.assets")}) {
        const game::AssetSpec& spec = game::kAssetTable[i];
        fixture.original[i] = mutate(base.original[i], seed, label + spec.name, 2048, 1800);
        fixture.englishCards[i] = mutate(fixture.original[i], seed, label + "english " + spec.name, 4096, 900);
        fixture.translatedCards[i] = spec.skillCardDelta
                                         ? mutate(fixture.englishCards[i], seed, label + "cards " + spec.name, 4096 * 8, -64)
                                         : fixture.englishCards[i];
        fixture.earlierReleases[i].clear();
        changedPayload.push_back(spec.basePatch);
        if (spec.skillCardDelta) changedPayload.push_back(spec.skillCardDelta);
    }
    // images/english, the source of images/russianblind (added-file row 2).
    const std::size_t row = 2;
    fixture.sourceBundles[row - 1] = mutate(base.sourceBundles[row - 1], seed, label + sourceBundlePaths()[row - 1], 512, 97);
    fixture.addedExpected[row] = mutate(fixture.sourceBundles[row - 1], seed, label + addedFilePaths()[row], 512, 422);
    fixture.addedReplaceable[row].push_back(base.addedExpected[row]);  // as the base's install left it
    changedPayload.push_back(game::kAddedFileTable[row].payload);

    fillPayload(fixture, changedPayload);
    fillProfile(fixture);
    return fixture;
}

std::vector<Fixture> makeTwoBuilds(std::uint64_t seed, std::uint64_t assetBytes) {
    std::vector<Fixture> fixtures;
    fixtures.push_back(makeFixture(seed, assetBytes));
    fixtures[0].profile.payloadFolder = fixtures[0].profile.build;
    fixtures.push_back(makeUpdatedFixture(fixtures[0], seed));
    return fixtures;
}

game::KnownBuilds knownBuilds(const std::vector<Fixture>& fixtures) {
    game::KnownBuilds builds;
    for (const Fixture& fixture : fixtures) builds.push_back(fixture.profile);
    return builds;
}

void writeFile(const fs::path& path, const std::string& contents, unsigned mode) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    fs::remove(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
    fs::permissions(path, static_cast<fs::perms>(mode));
}

void writeGame(const Fixture& fixture, const fs::path& app, GameState state) {
    writeFile(app / "Contents" / "Info.plist", infoPlist(fixture.profile.build));
    writeFile(app / "Contents" / "MacOS" / "Morra Vellant", "#!/bin/sh\nexit 0\n", 0755);
    writeFile(app / game::kDataFolder / "globalgamemanagers", makeContent(1, "globalgamemanagers", 2048));
    writeFile(app / game::kBundlesFolder / "lockits" / "english", makeContent(1, "lockit english", 2048));
    for (std::size_t i = 0; i < 3; ++i) writeFile(app / sourceBundlePaths()[i], fixture.sourceBundles[i]);

    for (std::size_t i = 0; i < Fixture::kAssets; ++i) {
        const std::string* content = &fixture.original[i];
        switch (state) {
            case GameState::Untouched: break;
            case GameState::InstalledTranslated: content = &fixture.translatedCards[i]; break;
            case GameState::InstalledEnglish: content = &fixture.englishCards[i]; break;
            case GameState::EarlierRelease:  // an asset no release has touched: as shipped
                if (!fixture.earlierReleases[i].empty()) content = &fixture.earlierReleases[i].back();
                break;
            case GameState::Interrupted: content = i < 2 ? &fixture.translatedCards[i] : &fixture.original[i]; break;
        }
        writeFile(app / assetPaths()[i], *content);
    }
    for (std::size_t i = 0; i < Fixture::kAdded; ++i) {
        const fs::path target = app / addedFilePaths()[i];
        switch (state) {
            case GameState::Untouched: fs::remove(target); break;
            case GameState::InstalledTranslated:
            case GameState::InstalledEnglish: writeFile(target, fixture.addedExpected[i]); break;
            case GameState::EarlierRelease: writeFile(target, fixture.addedReplaceable[i].front()); break;
            case GameState::Interrupted:
                if (i < 2) writeFile(target, fixture.addedExpected[i]);
                else fs::remove(target);
                break;
        }
    }
}

void writeBackups(const Fixture& fixture, const fs::path& supportDirectory) {
    const fs::path store = supportDirectory / ("Steam-" + fixture.profile.build);
    for (std::size_t i = 0; i < Fixture::kAssets; ++i)
        writeFile(store / game::kAssetTable[i].name, fixture.original[i]);
}

void writeUpdate(const Fixture& from, const Fixture& to, const fs::path& app) {
    writeFile(app / "Contents" / "Info.plist", infoPlist(to.profile.build));
    for (std::size_t i = 0; i < Fixture::kAssets; ++i)
        if (from.original[i] != to.original[i]) writeFile(app / assetPaths()[i], to.original[i]);
    for (std::size_t i = 0; i < to.sourceBundles.size(); ++i)
        if (from.sourceBundles[i] != to.sourceBundles[i]) writeFile(app / sourceBundlePaths()[i], to.sourceBundles[i]);
}

void writePayload(const Fixture& fixture, const fs::path& payloadDirectory) {
    writePayload(std::vector<Fixture>{fixture}, payloadDirectory);
}

void writeProfile(const Fixture& fixture, const fs::path& profileFile) {
    writeProfile(std::vector<Fixture>{fixture}, profileFile);
}

void writePayload(const std::vector<Fixture>& fixtures, const fs::path& payloadDirectory) {
    const game::KnownBuilds builds = knownBuilds(fixtures);
    std::set<fs::path> written;
    for (std::size_t build = 0; build < fixtures.size(); ++build)
        for (const auto& [name, bytes] : fixtures[build].payload) {
            const fs::path stored = game::storedPayloadFile(builds, build, name);
            if (written.insert(stored).second) writeFile(payloadDirectory / stored, bytes);
        }
}

void writeProfile(const std::vector<Fixture>& fixtures, const fs::path& profileFile) {
    const std::string json = profileToJson(knownBuilds(fixtures));
    parseProfile(json);  // a profile the build would refuse is not written
    writeFile(profileFile, json);
}

void writeForms(const Fixture& fixture, const fs::path& formsDirectory) {
    for (std::size_t i = 0; i < Fixture::kAssets; ++i) {
        const std::string& name = game::kAssetTable[i].name;
        writeFile(formsDirectory / "original" / name, fixture.original[i]);
        writeFile(formsDirectory / "english-cards" / name, fixture.englishCards[i]);
        writeFile(formsDirectory / "translated-cards" / name, fixture.translatedCards[i]);
        for (std::size_t k = 0; k < fixture.earlierReleases[i].size(); ++k)
            writeFile(formsDirectory / ("earlier-release-" + std::to_string(k + 1)) / name, fixture.earlierReleases[i][k]);
    }
    for (std::size_t i = 0; i < Fixture::kAdded; ++i) {
        const fs::path row = formsDirectory / "added" / game::kAddedFileTable[i].target;
        writeFile(row / "expected", fixture.addedExpected[i]);
        for (std::size_t k = 0; k < fixture.addedReplaceable[i].size(); ++k)
            writeFile(row / ("replaceable-" + std::to_string(k + 1)), fixture.addedReplaceable[i][k]);
    }
}

}  // namespace morra::tools
