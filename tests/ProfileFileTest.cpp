#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ProfileFile.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json demoJson() { return json::parse(tools::profileToJson(test::demoFixture().profile)); }

std::string errorOf(const json& document) {
    try {
        tools::parseProfile(document.dump());
    } catch (const tools::ProfileFileError& error) {
        return error.what();
    }
    return "";
}

TEST(ProfileFile, RoundTripsAndKeepsTheFixedOrders) {
    const Profile profile = tools::parseProfile(tools::profileToJson(test::demoFixture().profile));
    ASSERT_EQ(profile.payload.size(), 11u);
    EXPECT_EQ(profile.payload[0].name, "russianblind");
    EXPECT_EQ(profile.payload[10].name, "images-dyslexic-russianblind.bsdiff");
    EXPECT_EQ(profile.addedFiles[1].replaceable.size(), 4u);
    EXPECT_EQ(profile.addedFiles[0].source, "");
    EXPECT_EQ(profile.assets[0].earlierReleases.size(), 2u);
}

TEST(ProfileFile, EveryFaultNamesItsKey) {
    json document = demoJson();
    document["assets"][1].erase("original");
    EXPECT_NE(errorOf(document).find("assets[1].original"), std::string::npos) << errorOf(document);

    document = demoJson();
    document["assets"][2]["englishCards"] = std::string(64, 'A');
    EXPECT_NE(errorOf(document).find("assets[2].englishCards"), std::string::npos);

    document = demoJson();
    document["payload"]["level3.bsdiff"] = "abc";
    EXPECT_NE(errorOf(document).find("payload.level3.bsdiff"), std::string::npos);

    document = demoJson();
    document["payload"]["extra.bsdiff"] = std::string(64, 'a');
    EXPECT_NE(errorOf(document).find("payload.extra.bsdiff"), std::string::npos);

    document = demoJson();
    document["assets"][0]["file"] = "level2";
    EXPECT_NE(errorOf(document).find("assets[0].file"), std::string::npos);

    document = demoJson();
    document["addedFiles"][2]["target"] = "images/english";
    EXPECT_NE(errorOf(document).find("addedFiles[2].target"), std::string::npos);

    document = demoJson();
    document["addedFiles"][3]["replaceable"][1] = 5;
    EXPECT_NE(errorOf(document).find("addedFiles[3].replaceable[1]"), std::string::npos);

    document = demoJson();
    document["addedFiles"][0]["expected"] = std::string(64, 'b');
    EXPECT_NE(errorOf(document).find("payload.russianblind"), std::string::npos);

    EXPECT_NE(errorOf(json::array()).find("top level"), std::string::npos);
    EXPECT_THROW(tools::parseProfile("{ not json"), tools::ProfileFileError);
}

TEST(ProfileFile, PayloadWhoseDigestDiffersIsNamed) {
    test::TemporaryDirectory root;
    tools::writePayload(test::demoFixture(), root.path());
    EXPECT_NO_THROW(tools::checkPayload(test::demoFixture().profile, root.path()));
    test::writeFile(root.path() / "level2.bsdiff", "tampered");
    try {
        tools::checkPayload(test::demoFixture().profile, root.path());
        FAIL();
    } catch (const tools::ProfileFileError& error) {
        EXPECT_NE(std::string(error.what()).find("level2.bsdiff"), std::string::npos);
    }
}

TEST(ProfileFile, TheBuildStepRefusesABadProfileWithItsMessage) {
    test::TemporaryDirectory root;
    tools::writePayload(test::demoFixture(), root.path() / "Payload");
    json document = demoJson();
    document["assets"][4].erase("earlierReleases");
    test::writeFile(root.path() / "profile.json", document.dump());
    const test::ProcessResult result = test::runProcess(
        {MORRA_PROFILE_COMPILER, "--profile", (root.path() / "profile.json").string(), "--payload",
         (root.path() / "Payload").string(), "--output", (root.path() / "out.cpp").string(), "--resources",
         (root.path() / "resources").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.standardError.find("assets[4].earlierReleases"), std::string::npos) << result.standardError;
    EXPECT_FALSE(fs::exists(root.path() / "out.cpp"));

    test::writeFile(root.path() / "profile.json", demoJson().dump());
    const test::ProcessResult good = test::runProcess(
        {MORRA_PROFILE_COMPILER, "--profile", (root.path() / "profile.json").string(), "--payload",
         (root.path() / "Payload").string(), "--output", (root.path() / "out.cpp").string(), "--resources",
         (root.path() / "resources").string()});
    EXPECT_EQ(good.status, 0) << good.standardError;
    EXPECT_TRUE(fs::exists(root.path() / "resources/Payload/sharedassets1.assets.bsdiff"));
}

}  // namespace
}  // namespace morra
