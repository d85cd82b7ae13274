#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "Engine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(Payload, ChecksTheElevenFilesInOrderAndTheFirstFailureDecides) {
    test::TemporaryDirectory payload;
    tools::writePayload(test::demoFixture(), payload.path());
    const Engine engine(FileManager(), builtInProfile(), payload.path());
    EXPECT_NO_THROW(engine.validatePayload());

    fs::remove(payload.path() / "level2-skill-cards.delta.bsdiff");  // file 5
    try {
        engine.validatePayload();
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "В приложении отсутствуют файлы перевода.");
    }
    test::writeFile(payload.path() / "resources.assets.bsdiff", "damaged");  // file 2, checked before 5
    try {
        engine.validatePayload();
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "Файлы перевода повреждены.");
    }
}

TEST(Payload, UnreadableFileIsThePlatformsError) {
    test::TemporaryDirectory payload;
    tools::writePayload(test::demoFixture(), payload.path());
    const Engine engine(FileManager([&](FileOperation operation, const fs::path& path) {
                                     return operation == FileOperation::Open && path.filename() == "level3.bsdiff" ? EACCES : 0;
                                 }),
                                 builtInProfile(), payload.path());
    try {
        engine.validatePayload();
        FAIL();
    } catch (const InstallerError&) {
        FAIL() << "not the program's own error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(std::string(error.what()), (payload.path() / "level3.bsdiff").string() + ": Permission denied");
    }
}

}  // namespace
}  // namespace morra
