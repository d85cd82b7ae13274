#include "ProfileFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>

#include "files/Sha256.h"
#include "game/Manifest.h"

namespace morra::tools {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool isDigest(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

const json& member(const json& object, const std::string& key, const std::string& where) {
    if (!object.is_object() || !object.contains(key)) throw ProfileFileError("profile: missing key " + where + key);
    return object.at(key);
}

std::string digestAt(const json& object, const std::string& key, const std::string& where) {
    const json& value = member(object, key, where);
    if (!value.is_string() || !isDigest(value.get<std::string>()))
        throw ProfileFileError("profile: " + where + key + " is not 64 lower-case hexadecimal characters");
    return value.get<std::string>();
}

std::string stringAt(const json& object, const std::string& key, const std::string& where) {
    const json& value = member(object, key, where);
    if (!value.is_string()) throw ProfileFileError("profile: " + where + key + " is not a text");
    return value.get<std::string>();
}

std::vector<std::string> digestListAt(const json& object, const std::string& key, const std::string& where) {
    const json& value = member(object, key, where);
    if (!value.is_array()) throw ProfileFileError("profile: " + where + key + " is not a list");
    std::vector<std::string> digests;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string at = where + key + "[" + std::to_string(i) + "]";
        if (!value[i].is_string() || !isDigest(value[i].get<std::string>()))
            throw ProfileFileError("profile: " + at + " is not 64 lower-case hexadecimal characters");
        digests.push_back(value[i].get<std::string>());
    }
    return digests;
}

const json& listAt(const json& object, const std::string& key, const std::string& where, std::size_t size) {
    const json& value = member(object, key, where);
    if (!value.is_array() || value.size() != size)
        throw ProfileFileError("profile: " + where + key + " must be a list of " + std::to_string(size) + " entries");
    return value;
}

// One build's digests: the whole one-build file, or one entry of "builds".
game::Profile parseBuild(const json& document, const std::string& at) {
    game::Profile profile;
    const json& assets = listAt(document, "assets", at, game::kAssetTable.size());
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const std::string where = at + "assets[" + std::to_string(i) + "].";
        game::AssetDigests entry;
        const std::string file = stringAt(assets[i], "file", where);
        if (file != game::kAssetTable[i].name)
            throw ProfileFileError("profile: " + where + "file must be \"" + game::kAssetTable[i].name + "\", not \"" +
                                   file + "\"");
        entry.original = digestAt(assets[i], "original", where);
        entry.englishCards = digestAt(assets[i], "englishCards", where);
        entry.translatedCards = digestAt(assets[i], "translatedCards", where);
        entry.earlierReleases = digestListAt(assets[i], "earlierReleases", where);
        if (!game::kAssetTable[i].skillCardDelta && entry.englishCards != entry.translatedCards)
            throw ProfileFileError("profile: " + where + "englishCards and translatedCards must be equal for " + file);
        profile.assets[i] = std::move(entry);
    }

    const json& payload = member(document, "payload", at);
    if (!payload.is_object()) throw ProfileFileError("profile: " + at + "payload must be an object");
    const std::vector<std::string> payloadNames = game::payloadFileNames();
    for (const std::string& name : payloadNames) profile.payload.push_back({name, digestAt(payload, name, at + "payload.")});
    for (const auto& [key, value] : payload.items()) {
        (void)value;
        if (std::find(payloadNames.begin(), payloadNames.end(), key) == payloadNames.end())
            throw ProfileFileError("profile: " + at + "payload." + key + " is not a payload file of the installer");
    }

    const json& added = listAt(document, "addedFiles", at, game::kAddedFileTable.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        const std::string where = at + "addedFiles[" + std::to_string(i) + "].";
        game::AddedFileDigests entry;
        const std::string target = stringAt(added[i], "target", where);
        if (target != game::kAddedFileTable[i].target)
            throw ProfileFileError("profile: " + where + "target must be \"" + game::kAddedFileTable[i].target + "\", not \"" +
                                   target + "\"");
        if (game::kAddedFileTable[i].source) entry.source = digestAt(added[i], "source", where);
        entry.expected = digestAt(added[i], "expected", where);
        entry.replaceable = digestListAt(added[i], "replaceable", where);
        profile.addedFiles[i] = std::move(entry);
    }
    if (profile.addedFiles[0].expected != profile.payload[0].digest)
        throw ProfileFileError("profile: " + at + "addedFiles[0].expected must equal " + at + "payload.russianblind");
    return profile;
}


// A build number names a folder of the backup store: decimal digits only.
std::string buildNumberAt(const json& entry, const std::string& where) {
    const std::string build = stringAt(entry, "build", where);
    if (build.empty() || build.size() > 20 || !std::all_of(build.begin(), build.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw ProfileFileError("profile: " + where + "build must be decimal digits, not \"" + build + "\"");
    return build;
}

// One folder name under the payload folder, nothing that could lead out of it.
std::string payloadFolderAt(const json& entry, const std::string& where) {
    const std::string folder = stringAt(entry, "payloadFolder", where);
    const bool plain = !folder.empty() && folder != "." && folder != ".." && folder.find('/') == std::string::npos &&
                       folder.find('\\') == std::string::npos && folder.find('\0') == std::string::npos;
    if (!plain) throw ProfileFileError("profile: " + where + "payloadFolder must be one folder name, not \"" + folder + "\"");
    return folder;
}

game::KnownBuilds parseBuilds(const json& list) {
    if (!list.is_array() || list.empty()) throw ProfileFileError("profile: builds must be a list of one or more builds");
    game::KnownBuilds builds;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string where = "builds[" + std::to_string(i) + "].";
        game::Profile build = parseBuild(list[i], where);
        build.build = buildNumberAt(list[i], where);
        build.payloadFolder = payloadFolderAt(list[i], where);
        for (const game::Profile& earlier : builds) {
            if (earlier.build == build.build) throw ProfileFileError("profile: " + where + "build repeats build " + earlier.build);
            if (earlier.payloadFolder == build.payloadFolder)
                throw ProfileFileError("profile: " + where + "payloadFolder repeats that of build " + earlier.build);
        }
        builds.push_back(std::move(build));
    }
    return builds;
}

}  // namespace

game::KnownBuilds parseProfile(const std::string& text) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        throw ProfileFileError(std::string("profile: not valid JSON: ") + error.what());
    }
    if (!document.is_object()) throw ProfileFileError("profile: the top level must be an object");
    if (document.contains("builds")) {
        for (const char* key : {"assets", "payload", "addedFiles"})
            if (document.contains(key)) throw ProfileFileError(std::string("profile: ") + key + " belongs inside builds[]");
        return parseBuilds(document.at("builds"));
    }
    return {parseBuild(document, "")};
}

game::KnownBuilds readProfileFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw ProfileFileError("profile: cannot read " + path.string());
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return parseProfile(text);
}

namespace {

void checkPayloadFile(const fs::path& path, const game::PayloadFile& file) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw ProfileFileError("payload: cannot read " + path.string());
    files::Sha256 hasher;
    std::vector<char> buffer(1 << 20);
    while (stream) {
        stream.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hasher.update(buffer.data(), static_cast<std::size_t>(stream.gcount()));
    }
    if (stream.bad()) throw ProfileFileError("payload: cannot read " + path.string());
    const std::string digest = hasher.finalHex();
    if (digest != file.digest)
        throw ProfileFileError("payload: " + path.string() + " has digest " + digest + ", the profile gives " + file.digest +
                               " (payload." + file.name + ")");
}

json buildToJson(const game::Profile& profile) {
    json document;
    document["assets"] = json::array();
    for (std::size_t i = 0; i < profile.assets.size(); ++i) {
        const game::AssetDigests& entry = profile.assets[i];
        document["assets"].push_back({{"file", game::kAssetTable[i].name},
                                      {"original", entry.original},
                                      {"englishCards", entry.englishCards},
                                      {"translatedCards", entry.translatedCards},
                                      {"earlierReleases", entry.earlierReleases}});
    }
    document["payload"] = json::object();
    for (const game::PayloadFile& file : profile.payload) document["payload"][file.name] = file.digest;
    document["addedFiles"] = json::array();
    for (std::size_t row = 0; row < profile.addedFiles.size(); ++row) {
        const game::AddedFileDigests& entry = profile.addedFiles[row];
        json fields = {{"target", game::kAddedFileTable[row].target}, {"expected", entry.expected}, {"replaceable", entry.replaceable}};
        if (!entry.source.empty()) fields["source"] = entry.source;
        document["addedFiles"].push_back(fields);
    }
    return document;
}

}  // namespace

std::vector<fs::path> storedPayloadFiles(const game::KnownBuilds& builds) {
    std::vector<fs::path> stored;
    for (std::size_t build = 0; build < builds.size(); ++build)
        for (const game::PayloadFile& file : builds[build].payload) {
            const fs::path path = game::storedPayloadFile(builds, build, file.name);
            if (std::find(stored.begin(), stored.end(), path) == stored.end()) stored.push_back(path);
        }
    return stored;
}

void checkPayload(const game::KnownBuilds& builds, const fs::path& payloadDirectory) {
    for (std::size_t build = 0; build < builds.size(); ++build)
        for (const game::PayloadFile& file : builds[build].payload)
            checkPayloadFile(payloadDirectory / storedPayloadFile(builds, build, file.name), file);
}

std::string profileToJson(const game::KnownBuilds& builds) {
    if (builds.size() == 1 && builds[0].build == core::kBuildNumber && builds[0].payloadFolder.empty())
        return buildToJson(builds[0]).dump(2) + "\n";
    json document;
    document["builds"] = json::array();
    for (const game::Profile& build : builds) {
        json entry = buildToJson(build);
        entry["build"] = build.build;
        entry["payloadFolder"] = build.payloadFolder;
        document["builds"].push_back(std::move(entry));
    }
    return document.dump(2) + "\n";
}

}  // namespace morra::tools
