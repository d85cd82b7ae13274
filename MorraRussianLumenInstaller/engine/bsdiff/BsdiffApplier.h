#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morra::bsdiff {

// A failure of patch application, described as the bspatch tool describes it: one line, ending in
// a line feed, such as "bspatch: Corrupt patch\n". what() is that text; readableText() is the same
// with a failed call's system description in Russian, for the player.
class BsdiffError : public std::runtime_error {
public:
    explicit BsdiffError(const std::string& text, std::string readable = {})
        : std::runtime_error(text), readable_(std::move(readable)) {}

    std::string readableText() const { return readable_.empty() ? what() : readable_; }

private:
    std::string readable_;
};

// The text of a patch that the tool refuses as malformed.
inline constexpr const char* kCorruptPatchText = "bspatch: Corrupt patch\n";
[[noreturn]] void throwCorruptPatch();

// Random-access bytes: the old file or the patch. readAt is safe to call from several threads at
// once (the patch's streams are decoded on worker threads).
class BsdiffInput {
public:
    virtual ~BsdiffInput() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to `size` bytes at `offset`; fewer only at the end of the input. Failures throw
    // BsdiffError with the tool-style text.
    virtual std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

// Receives the new file's bytes in order, from the calling thread only.
class BsdiffOutput {
public:
    virtual ~BsdiffOutput() = default;
    virtual void write(const unsigned char* data, std::size_t size) = 0;
};

// Bytes held in memory.
class MemoryBsdiffInput : public BsdiffInput {
public:
    explicit MemoryBsdiffInput(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size) override;

private:
    std::string_view bytes_;
};

struct BsdiffOptions {
    // Decode the diff and extra streams on worker threads while the caller's thread combines the
    // bytes and hands them to the output.
    bool parallel = true;
};

// Applies a BSDIFF40 patch to the old bytes and writes the new bytes to `output`; returns the new
// size. It accepts and refuses exactly the patches that /usr/bin/bspatch accepts and refuses, and
// produces the same bytes. Memory stays bounded whatever the sizes: the new bytes are handed out
// in chunks as they are made, and the old bytes are read as they are needed. Throws BsdiffError;
// whatever reached the output before a failure is then worthless.
std::uint64_t applyBsdiff(BsdiffInput& oldData, BsdiffInput& patch, BsdiffOutput& output,
                          const BsdiffOptions& options = {});

// The size of the new file that a patch makes, as its header states it; nothing when the header
// is not a BSDIFF40 header. (Whether the patch really makes that much only applying it tells.)
inline constexpr std::size_t kBsdiffHeaderSize = 32;
std::optional<std::uint64_t> bsdiffNewSize(const unsigned char (&header)[kBsdiffHeaderSize]);

}  // namespace morra::bsdiff
