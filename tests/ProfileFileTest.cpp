// The build input that names the supported build's digests: every fault is named by its key, and
// the build step refuses a bad profile or payload before anything is written.

#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json demoJson() { return json::parse(tools::profileToJson(test::demoFixture().profile)); }

TEST(ProfileFile, EveryFaultNamesItsKey) {
    const std::vector<std::pair<std::function<void(json&)>, std::string>> cases = {
        {[](json& d) { d["assets"][1].erase("original"); }, "assets[1].original"},
        {[](json& d) { d["assets"][2]["englishCards"] = std::string(64, 'A'); }, "assets[2].englishCards"},
        {[](json& d) { d["assets"][0]["file"] = "level2"; }, "assets[0].file"},
        {[](json& d) { d["payload"]["level3.bsdiff"] = "abc"; }, "payload.level3.bsdiff"},
        {[](json& d) { d["payload"]["extra.bsdiff"] = std::string(64, 'a'); }, "payload.extra.bsdiff"},
        {[](json& d) { d["addedFiles"][2]["target"] = "images/english"; }, "addedFiles[2].target"},
        {[](json& d) { d["addedFiles"][3]["replaceable"][1] = 5; }, "addedFiles[3].replaceable[1]"},
        {[](json& d) { d["addedFiles"][0]["expected"] = std::string(64, 'b'); }, "payload.russianblind"},
        {[](json& d) { d = json::array(); }, "top level"},
    };
    EXPECT_NO_THROW(tools::parseProfile(demoJson().dump()));
    for (const auto& [spoil, key] : cases) {
        json document = demoJson();
        spoil(document);
        EXPECT_NE(test::failureOf([&] { tools::parseProfile(document.dump()); }).find(key), std::string::npos) << key;
    }
}

TEST(ProfileFile, TheBuildStepRefusesABadProfileOrPayloadWithItsMessage) {
    test::TemporaryDirectory root;
    tools::writePayload(test::demoFixture(), root.path() / "Payload");
    const auto compile = [&](const json& profile) {
        test::writeFile(root.path() / "profile.json", profile.dump());
        return test::runProcess({MORRA_PROFILE_COMPILER, "--profile", (root.path() / "profile.json").string(), "--payload",
                                 (root.path() / "Payload").string(), "--output", (root.path() / "out.cpp").string(),
                                 "--resources", (root.path() / "resources").string()});
    };
    json document = demoJson();
    document["assets"][4].erase("earlierReleases");
    test::ProcessResult result = compile(document);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.standardError.find("assets[4].earlierReleases"), std::string::npos) << result.standardError;

    test::writeFile(root.path() / "Payload" / "level2.bsdiff", "tampered");
    result = compile(demoJson());
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.standardError.find("level2.bsdiff"), std::string::npos) << result.standardError;
    EXPECT_FALSE(fs::exists(root.path() / "out.cpp"));

    tools::writePayload(test::demoFixture(), root.path() / "Payload");
    result = compile(demoJson());
    EXPECT_EQ(result.status, 0) << result.standardError;
    EXPECT_TRUE(fs::exists(root.path() / "resources/Payload/sharedassets1.assets.bsdiff"));
}

}  // namespace
}  // namespace morra
