// Replacing a file's whole content so that its path never names a half-written file.

#include "steps/AtomicReplace.h"

#include <gtest/gtest.h>

#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(AtomicReplace, BytesReplaceTheTargetKeepingItsModeThroughAFlushedTemporary) {
    for (unsigned mode : {0640u, 0444u, 0755u}) {
        test::TemporaryDirectory folder;
        const fs::path target = folder.path() / "Settings.json";
        tools::writeFile(target, "old", mode);
        test::FaultInjector injector;
        replaceAtomically(injector.fileManager(), target, std::string("{\"new\": true}"));
        EXPECT_EQ(test::readFile(target), "{\"new\": true}");
        EXPECT_EQ(test::modeOf(target), mode);
        test::expectDurablyPublished(injector, target, ".Settings.json.updating-");
        EXPECT_TRUE(test::temporaries(folder.path()).empty());
    }
}

// The copy from a file is proven by its digest: a source that is not what the caller checked
// (changed since) leaves the target as it was.
TEST(AtomicReplace, ACopyIsPutInPlaceOnlyWithTheExpectedDigest) {
    test::TemporaryDirectory folder;
    const fs::path target = folder.path() / "level2", source = folder.path() / "backup";
    test::writeFile(target, "patched");
    test::writeFile(source, "original");
    EXPECT_EQ(test::failureOf([&] { replaceAtomically(FileManager(), target, source, test::digestOf("other"), "changed"); }),
              "changed");
    EXPECT_EQ(test::readFile(target), "patched");
    test::FaultInjector injector;
    replaceAtomically(injector.fileManager(), target, source, test::digestOf("original"), "changed");
    EXPECT_EQ(test::readFile(target), "original");
    EXPECT_EQ(test::readFile(source), "original");
    test::expectDurablyPublished(injector, target, ".level2.restoring-");
    EXPECT_TRUE(test::temporaries(folder.path()).empty());
}

TEST(AtomicReplace, AMissingTargetIsAnErrorBeforeAnythingIsWritten) {
    test::TemporaryDirectory folder;
    EXPECT_NE(test::failureOf([&] { replaceAtomically(FileManager(), folder.path() / "Settings.json", std::string("{}")); }),
              "(no error)");
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace morra
