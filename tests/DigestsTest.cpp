#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "Engine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(Digests, KnownValuesAtChunkBoundaries) {
    test::TemporaryDirectory root;
    const Engine engine;
    const fs::path file = root.path() / "file";
    test::writeFile(file, "");
    EXPECT_EQ(engine.sha256(file), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    test::writeFile(file, "abc");
    EXPECT_EQ(engine.sha256(file), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Exactly two chunks, one byte short of and one byte past them: each read to its end.
    for (std::size_t size : {std::size_t(2) << 20, (std::size_t(2) << 20) - 1, (std::size_t(2) << 20) + 1}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
        test::writeFile(file, bytes);
        EXPECT_EQ(engine.sha256(file), test::digestOf(bytes)) << size;
    }
}

TEST(Digests, TextKeepsLeadingZerosOfEveryByte) {
    test::TemporaryDirectory root;
    const Engine engine;
    // SHA-256("0") begins with 0x5f, 0xec, 0xeb... and holds bytes below 16 further on.
    test::writeFile(root.path() / "zero", "0");
    const std::string digest = engine.sha256(root.path() / "zero");
    EXPECT_EQ(digest, "5feceb66ffc86f38d952786c6d696c79c2dbc239dd4e91b46729d73a27fb57e9");
    EXPECT_EQ(digest.size(), 64u);
}

TEST(Digests, PlatformErrorsPassThroughUnwrapped) {
    test::TemporaryDirectory root;
    const Engine engine;
    try {
        engine.sha256(root.path() / "missing");
        FAIL() << "a missing file has no digest";
    } catch (const InstallerError&) {
        FAIL() << "a platform error must not become the program's own";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOENT);
        EXPECT_EQ(std::string(error.what()), (root.path() / "missing").string() + ": No such file or directory");
    }
    EXPECT_THROW(engine.sha256(root.path()), std::system_error);  // a folder is no file
}

TEST(Digests, ReadFailureMidwayIsReportedNotDigested) {
    test::TemporaryDirectory root;
    const fs::path file = root.path() / "big";
    test::writeFile(file, std::string(3 << 20, 'x'));
    int reads = 0;
    const Engine engine(FileManager([&](FileOperation operation, const fs::path&) {
        return operation == FileOperation::Read && ++reads == 2 ? EIO : 0;
    }));
    try {
        engine.sha256(file);
        FAIL() << "a failing read must fail the digest";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EIO);
    }
}

}  // namespace
}  // namespace morra
