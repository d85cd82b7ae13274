// libFuzzer target for the bsdiff applier. Each input is either a raw patch (with an old file) or a
// description from which a patch is built: controls (including hostile values), raw blocks that
// are bzip2-compressed here, header fields, and a final damage (a changed byte, a cut, garbage).
//
// Checks: the applier never crashes, reads out of bounds or allocates by the patch's word (the
// sanitizers watch that); its two decoding modes agree exactly; and, for results small enough to
// hold, it agrees with a reference that follows the bspatch tool's own loop over BZ2_bzRead on
// FILE streams, byte for byte, including which patches are refused.
#include <bzlib.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bsdiff/BsdiffApplier.h"
#include "bsdiff/SignMagnitude.h"

namespace {

constexpr std::int64_t kReferenceLimit = 1 << 22;  // largest result the reference builds in memory

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::string bytes(std::size_t count) {
        count = std::min(count, size_ - position_);
        std::string out(reinterpret_cast<const char*>(data_ + position_), count);
        position_ += count;
        return out;
    }
    std::string rest() { return bytes(size_ - position_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

std::string encode(std::int64_t value) {
    unsigned char bytes[8];
    morra::encodeOffset(value, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), 8);
}

std::string compress(const std::string& data) {
    std::vector<char> out(data.size() + data.size() / 100 + 1024);
    unsigned length = static_cast<unsigned>(out.size());
    if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()), static_cast<unsigned>(data.size()), 1, 0,
                                 30) != BZ_OK)
        std::abort();
    return std::string(out.data(), length);
}

std::int64_t hostile(Reader& input, std::int64_t ordinary) {
    static const std::int64_t kValues[] = {0, -1, 1, INT_MAX, std::int64_t{INT_MAX} + 1, INT64_MAX, -INT64_MAX,
                                           INT64_MAX - 32, std::int64_t{1} << 32, std::int64_t{1} << 40};
    const std::uint8_t choice = input.byte();
    return choice < 200 ? ordinary : kValues[choice % (sizeof kValues / sizeof kValues[0])];
}

// Builds a patch from a description.
std::string describedPatch(Reader& input) {
    struct Control {
        std::int64_t add, copy, seek;
    };
    std::vector<Control> controls(input.byte() % 12);
    std::int64_t diffBytes = 0, extraBytes = 0;
    for (Control& control : controls) {
        control.add = hostile(input, input.word() % 3000);
        control.copy = hostile(input, input.word() % 600);
        control.seek = hostile(input, static_cast<std::int16_t>(input.word()));
        if (control.add > 0 && control.add < 100000) diffBytes += control.add;
        if (control.copy > 0 && control.copy < 100000) extraBytes += control.copy;
    }
    std::string controlBlock;
    for (const Control& control : controls) controlBlock += encode(control.add) + encode(control.copy) + encode(control.seek);
    const std::int64_t newSize = hostile(input, diffBytes + extraBytes + (input.byte() % 5 == 0 ? static_cast<std::int8_t>(input.byte()) : 0));

    // Block contents: a short pattern from the input, repeated (sometimes a little too short).
    auto block = [&](std::int64_t length) {
        if (input.byte() % 8 == 0) length -= input.byte() % 16;
        const std::string pattern = input.bytes(1 + input.byte() % 32);
        std::string bytes;
        for (std::int64_t i = 0; i < length; ++i) bytes.push_back(pattern.empty() ? '\0' : pattern[static_cast<std::size_t>(i) % pattern.size()]);
        return bytes;
    };
    const std::string control = compress(controlBlock), diff = compress(block(diffBytes)), extra = compress(block(extraBytes));
    const std::int64_t controlLength = hostile(input, static_cast<std::int64_t>(control.size()));
    const std::int64_t diffLength = hostile(input, static_cast<std::int64_t>(diff.size()));
    std::string patch = "BSDIFF40" + encode(controlLength) + encode(diffLength) + encode(newSize) + control + diff + extra;

    switch (input.byte() % 6) {
    case 0:
        if (!patch.empty()) patch[input.word() % patch.size()] ^= static_cast<char>(1 + input.byte() % 255);
        break;
    case 1:
        patch.resize(input.word() % (patch.size() + 1));
        break;
    case 2:
        patch += input.bytes(input.byte());
        break;
    default:
        break;
    }
    return patch;
}

// What the tool does, step by step, on FILE streams over the patch in memory.
struct Outcome {
    bool succeeded = false;
    std::string output;
    std::string error;
    bool operator==(const Outcome&) const = default;
};

std::int64_t readNumber(const unsigned char* bytes) {
    std::int64_t value = bytes[7] & 0x7f;
    for (int i = 6; i >= 0; --i) value = value * 256 + bytes[i];
    return (bytes[7] & 0x80) ? -value : value;
}

struct StreamFile {
    StreamFile(const std::string& patch, std::int64_t offset) {
        if (offset < static_cast<std::int64_t>(patch.size()))
            file = fmemopen(const_cast<char*>(patch.data() + offset), patch.size() - static_cast<std::size_t>(offset), "rb");
        else
            file = std::fopen("/dev/null", "rb");
        int error = 0;
        bz = BZ2_bzReadOpen(&error, file, 0, 0, nullptr, 0);
        if (!bz) std::abort();
    }
    ~StreamFile() {
        int error = 0;
        BZ2_bzReadClose(&error, bz);
        std::fclose(file);
    }
    bool read(unsigned char* buffer, std::int64_t length) {
        int error = BZ_OK;
        const int count = BZ2_bzRead(&error, bz, buffer, static_cast<int>(length));
        return count >= length && (error == BZ_OK || error == BZ_STREAM_END);
    }
    FILE* file = nullptr;
    BZFILE* bz = nullptr;
};

std::optional<Outcome> reference(const std::string& oldData, const std::string& patch) {
    Outcome corrupt{false, "", morra::kCorruptPatchText};
    if (patch.size() < 32 || std::memcmp(patch.data(), "BSDIFF40", 8) != 0) return corrupt;
    const auto* header = reinterpret_cast<const unsigned char*>(patch.data());
    const std::int64_t controlLength = readNumber(header + 8), diffLength = readNumber(header + 16), newSize = readNumber(header + 24);
    if (controlLength < 0 || controlLength > INT64_MAX - 32 || diffLength < 0 || controlLength + 32 > INT64_MAX - diffLength ||
        newSize < 0)
        return corrupt;
    if (newSize > kReferenceLimit) return std::nullopt;
    StreamFile control(patch, 32), diff(patch, 32 + controlLength), extra(patch, 32 + controlLength + diffLength);
    std::string result(static_cast<std::size_t>(newSize), '\0');
    auto* out = reinterpret_cast<unsigned char*>(result.data());
    const std::int64_t oldSize = static_cast<std::int64_t>(oldData.size());
    std::int64_t oldPosition = 0, newPosition = 0;
    while (newPosition < newSize) {
        std::int64_t entry[3];
        for (std::int64_t& value : entry) {
            unsigned char bytes[8];
            if (!control.read(bytes, 8)) return corrupt;
            value = readNumber(bytes);
        }
        if (entry[0] < 0 || entry[0] > INT_MAX || entry[1] < 0 || entry[1] > INT_MAX) return corrupt;
        if (newPosition + entry[0] > newSize) return corrupt;
        if (!diff.read(out + newPosition, entry[0])) return corrupt;
        std::int64_t end;
        if (__builtin_add_overflow(oldPosition, entry[0], &end)) return corrupt;
        for (std::int64_t i = 0; i < entry[0]; ++i)
            if (oldPosition + i >= 0 && oldPosition + i < oldSize)
                out[newPosition + i] = static_cast<unsigned char>(out[newPosition + i] + oldData[static_cast<std::size_t>(oldPosition + i)]);
        newPosition += entry[0];
        oldPosition = end;
        if (newPosition + entry[1] > newSize) return corrupt;
        if (!extra.read(out + newPosition, entry[1])) return corrupt;
        newPosition += entry[1];
        if (__builtin_add_overflow(oldPosition, entry[2], &oldPosition)) return corrupt;
    }
    return Outcome{true, result, ""};
}

class Collect : public morra::BsdiffOutput {
public:
    void write(const unsigned char* data, std::size_t size) override {
        total += size;
        if (bytes.size() + size <= static_cast<std::size_t>(kReferenceLimit)) bytes.append(reinterpret_cast<const char*>(data), size);
        else bytes.clear(), overflowed = true;
    }
    std::string bytes;
    std::uint64_t total = 0;
    bool overflowed = false;
};

Outcome ours(const std::string& oldData, const std::string& patch, bool parallel) {
    morra::MemoryBsdiffInput oldInput(oldData), patchInput(patch);
    Collect output;
    Outcome outcome;
    try {
        const std::uint64_t size = morra::applyBsdiff(oldInput, patchInput, output, morra::BsdiffOptions{parallel});
        if (size != output.total) std::abort();
        outcome.succeeded = true;
        outcome.output = output.overflowed ? "(large: " + std::to_string(output.total) + ")" : output.bytes;
    } catch (const morra::BsdiffError& error) {
        outcome.error = error.what();
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader input(data, size);
    const std::uint8_t flags = input.byte();
    const std::string oldData = input.bytes(input.word() % 8192);
    const std::string patch = (flags & 1) ? describedPatch(input) : input.rest();

    const Outcome inlineMode = ours(oldData, patch, false);
    if (flags & 2) {
        if (!(ours(oldData, patch, true) == inlineMode)) std::abort();
    }
    if (const std::optional<Outcome> expected = reference(oldData, patch)) {
        if (!(*expected == inlineMode)) {
            std::fprintf(stderr, "reference %s (%zu bytes) / applier %s (%zu bytes)\n", expected->succeeded ? "accepts" : "refuses",
                         expected->output.size(), inlineMode.succeeded ? "accepts" : "refuses", inlineMode.output.size());
            std::abort();
        }
    }
    return 0;
}
