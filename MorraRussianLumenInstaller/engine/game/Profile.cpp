#include "game/Profile.h"

#include <algorithm>
#include <stdexcept>

namespace morra::game {

namespace {

const PayloadFile* findPayload(const Profile& profile, auto matches) {
    const auto found = std::find_if(profile.payload.begin(), profile.payload.end(), matches);
    return found == profile.payload.end() ? nullptr : &*found;
}

}  // namespace

std::filesystem::path storedPayloadFile(const KnownBuilds& builds, std::size_t build, const std::string& name) {
    const PayloadFile* wanted = findPayload(builds.at(build), [&](const PayloadFile& file) { return file.name == name; });
    if (!wanted) throw std::out_of_range("no payload file " + name);
    for (std::size_t earlier = 0; earlier <= build; ++earlier) {
        const Profile& holder = builds[earlier];
        if (const PayloadFile* same = findPayload(holder, [&](const PayloadFile& file) { return file.digest == wanted->digest; }))
            return std::filesystem::path(holder.payloadFolder) / same->name;
    }
    return std::filesystem::path(builds[build].payloadFolder) / name;  // not reached: the build itself holds it
}

}  // namespace morra::game
