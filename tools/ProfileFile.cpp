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

const json& listAt(const json& object, const std::string& key, std::size_t size) {
    const json& value = member(object, key, "");
    if (!value.is_array() || value.size() != size)
        throw ProfileFileError("profile: " + key + " must be a list of " + std::to_string(size) + " entries");
    return value;
}

}  // namespace

Profile parseProfile(const std::string& text) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        throw ProfileFileError(std::string("profile: not valid JSON: ") + error.what());
    }
    if (!document.is_object()) throw ProfileFileError("profile: the top level must be an object");

    Profile profile;
    const json& assets = listAt(document, "assets", kAssetTable.size());
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const std::string where = "assets[" + std::to_string(i) + "].";
        AssetDigests entry;
        const std::string file = stringAt(assets[i], "file", where);
        if (file != kAssetTable[i].name)
            throw ProfileFileError("profile: " + where + "file must be \"" + kAssetTable[i].name + "\", not \"" +
                                   file + "\"");
        entry.original = digestAt(assets[i], "original", where);
        entry.englishCards = digestAt(assets[i], "englishCards", where);
        entry.translatedCards = digestAt(assets[i], "translatedCards", where);
        entry.earlierReleases = digestListAt(assets[i], "earlierReleases", where);
        if (!kAssetTable[i].skillCardDelta && entry.englishCards != entry.translatedCards)
            throw ProfileFileError("profile: " + where + "englishCards and translatedCards must be equal for " + file);
        profile.assets[i] = std::move(entry);
    }

    const json& payload = member(document, "payload", "");
    if (!payload.is_object()) throw ProfileFileError("profile: payload must be an object");
    const std::vector<std::string> payloadNames = payloadFileNames();
    for (const std::string& name : payloadNames) profile.payload.push_back({name, digestAt(payload, name, "payload.")});
    for (const auto& [key, value] : payload.items()) {
        (void)value;
        if (std::find(payloadNames.begin(), payloadNames.end(), key) == payloadNames.end())
            throw ProfileFileError("profile: payload." + key + " is not a payload file of the installer");
    }

    const json& added = listAt(document, "addedFiles", kAddedFileTable.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        const std::string where = "addedFiles[" + std::to_string(i) + "].";
        AddedFileDigests entry;
        const std::string target = stringAt(added[i], "target", where);
        if (target != kAddedFileTable[i].target)
            throw ProfileFileError("profile: " + where + "target must be \"" + kAddedFileTable[i].target + "\", not \"" +
                                   target + "\"");
        if (kAddedFileTable[i].source) entry.source = digestAt(added[i], "source", where);
        entry.expected = digestAt(added[i], "expected", where);
        entry.replaceable = digestListAt(added[i], "replaceable", where);
        profile.addedFiles[i] = std::move(entry);
    }
    if (profile.addedFiles[0].expected != profile.payload[0].digest)
        throw ProfileFileError("profile: addedFiles[0].expected must equal payload.russianblind");
    return profile;
}

Profile readProfileFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw ProfileFileError("profile: cannot read " + path.string());
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return parseProfile(text);
}

void checkPayload(const Profile& profile, const fs::path& payloadDirectory) {
    for (const PayloadFile& file : profile.payload) {
        const fs::path path = payloadDirectory / file.name;
        std::ifstream stream(path, std::ios::binary);
        if (!stream) throw ProfileFileError("payload: cannot read " + path.string());
        Sha256 hasher;
        std::vector<char> buffer(1 << 20);
        while (stream) {
            stream.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            hasher.update(buffer.data(), static_cast<std::size_t>(stream.gcount()));
        }
        if (stream.bad()) throw ProfileFileError("payload: cannot read " + path.string());
        const std::string digest = hasher.finalHex();
        if (digest != file.digest)
            throw ProfileFileError("payload: " + path.string() + " has digest " + digest + ", the profile gives " +
                                   file.digest + " (payload." + file.name + ")");
    }
}

std::string profileToJson(const Profile& profile) {
    json document;
    document["assets"] = json::array();
    for (std::size_t i = 0; i < profile.assets.size(); ++i) {
        const AssetDigests& entry = profile.assets[i];
        document["assets"].push_back({{"file", kAssetTable[i].name},
                                      {"original", entry.original},
                                      {"englishCards", entry.englishCards},
                                      {"translatedCards", entry.translatedCards},
                                      {"earlierReleases", entry.earlierReleases}});
    }
    document["payload"] = json::object();
    for (const PayloadFile& file : profile.payload) document["payload"][file.name] = file.digest;
    document["addedFiles"] = json::array();
    for (std::size_t row = 0; row < profile.addedFiles.size(); ++row) {
        const AddedFileDigests& entry = profile.addedFiles[row];
        json fields = {{"target", kAddedFileTable[row].target}, {"expected", entry.expected}, {"replaceable", entry.replaceable}};
        if (!entry.source.empty()) fields["source"] = entry.source;
        document["addedFiles"].push_back(fields);
    }
    return document.dump(2) + "\n";
}

}  // namespace morra::tools
